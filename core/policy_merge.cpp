#include "core/policy_merge.h"

#include "core/app_state.h"
#include "core/bounded_text.h"

namespace {

// The method bits a RightClickMethod value stands for.
constexpr std::uint32_t MethodBits(std::uint32_t method) {
  switch (method) {
    case POLICY_METHOD_HOLD_STILL: return SETUP_HOLD_STILL;
    case POLICY_METHOD_FUNCTION_BUTTON: return SETUP_FUNCTION_BUTTON;
    default: return 0;  // none
  }
}

constexpr PolicyValue PolicyAt(std::size_t i) { return static_cast<PolicyValue>(i); }

}  // namespace

bool Policies::Any() const {
  for (bool configured : Configured) {
    if (configured) return true;
  }
  return false;
}

bool PolicyValueValid(PolicyValue v, const RawPolicyValue& raw) {
  const PolicyValueName& name = POLICY_VALUES[static_cast<std::size_t>(v)];
  return raw.Present && raw.Type == REGISTRY_TYPE_DWORD && raw.Size == 4 && raw.Data >= name.Lowest &&
         raw.Data <= name.Highest;
}

Policies DecidePolicies(const RawPolicies& raw) {
  Policies policies;
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    if (!PolicyValueValid(PolicyAt(i), raw[i])) continue;
    policies.Configured[i] = true;
    policies.Value[i] = raw[i].Data;
  }
  return policies;
}

bool SettingsLocked(const Policies& policies) {
  return policies.Has(PolicyValue::AllowSettingsChanges) && policies.Of(PolicyValue::AllowSettingsChanges) == 0;
}

std::uint32_t DecidedPart(const Policies& policies, StoredSetting s) {
  if (SettingsLocked(policies)) return EditablePart(s);
  std::uint32_t part = 0;
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    const PolicyRow& row = POLICY_ROWS[i];
    if (!policies.Configured[i] || row.Setting != s) continue;
    part |= row.Kind == PolicyKind::Number ? EditablePart(s) : row.Bits;
  }
  return part;
}

SettingValues MergePolicies(const SettingValues& stored, const Policies& policies) {
  SettingValues merged = stored;
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    if (!policies.Configured[i]) continue;
    const PolicyRow& row = POLICY_ROWS[i];
    const std::uint32_t policy = policies.Value[i];
    std::uint32_t& value = merged[row.Setting];
    switch (row.Kind) {
      case PolicyKind::Switch: value = policy != 0 ? value | row.Bits : value & ~row.Bits; break;
      case PolicyKind::Method: value = (value & ~row.Bits) | MethodBits(policy); break;
      case PolicyKind::Number: value = policy; break;
      case PolicyKind::Lock: break;
    }
  }
  return merged;
}

bool SetupCommandNeeded(const SettingValues& before, const SettingValues& after) {
  for (StoredSetting s : STORED_SETTINGS) {
    if (((before[s] ^ after[s]) & SETUP_COMMAND_PARTS[s]) != 0) return true;
  }
  return false;
}

std::size_t TakeNewlyIgnored(IgnoredPolicyMemory& memory, const RawPolicies& raw, std::array<bool, POLICY_COUNT>& out) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    out[i] = false;
    if (!raw[i].Present || PolicyValueValid(PolicyAt(i), raw[i])) continue;
    auto& told = memory.Reported[i];
    bool known = false;
    for (const RawPolicyValue& value : told) known = known || value == raw[i];
    if (known) continue;
    told[memory.Next[i]] = raw[i];
    memory.Next[i] = (memory.Next[i] + 1) % told.size();
    out[i] = true;
    ++count;
  }
  return count;
}

std::uint32_t PolicyReadDelay(std::uint32_t sinceFirstChange, std::uint32_t sinceLatestChange) {
  if (sinceFirstChange >= POLICY_QUIET_CAP_MS || sinceLatestChange >= POLICY_QUIET_MS) return 0;
  const std::uint32_t quietLeft = POLICY_QUIET_MS - sinceLatestChange;
  const std::uint32_t capLeft = POLICY_QUIET_CAP_MS - sinceFirstChange;
  return quietLeft < capLeft ? quietLeft : capLeft;
}

void FormatPoliciesInForce(std::span<wchar_t> dest, const Policies& policies) {
  if (dest.empty()) return;
  dest[0] = 0;
  bool first = true;
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    if (!policies.Configured[i]) continue;
    std::array<wchar_t, 40> item{};
    FormatBounded(item, L"%ls%ls=%lu", first ? L"" : L", ", POLICY_VALUES[i].Name,
                  static_cast<unsigned long>(policies.Value[i]));
    AppendBounded(dest, item.data());
    first = false;
  }
  if (first) AppendBounded(dest, L"none");
}

void FormatIgnoredPolicy(std::span<wchar_t> dest, PolicyValue v, const RawPolicyValue& raw) {
  const PolicyValueName& name = POLICY_VALUES[static_cast<std::size_t>(v)];
  if (raw.Type == REGISTRY_TYPE_DWORD && raw.Size == 4) {
    FormatBounded(dest, L"Policy %ls=%lu ignored: accepted %lu-%lu\r\n", name.Name, static_cast<unsigned long>(raw.Data),
                  static_cast<unsigned long>(name.Lowest), static_cast<unsigned long>(name.Highest));
  } else {
    FormatBounded(dest, L"Policy %ls ignored: registry type %lu, %lu bytes; a REG_DWORD is expected\r\n", name.Name,
                  static_cast<unsigned long>(raw.Type), static_cast<unsigned long>(raw.Size));
  }
}
