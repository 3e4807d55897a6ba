#include "core/policy_merge.h"

#include "core/app_state.h"
#include "core/bounded_text.h"

namespace {

constexpr std::uint32_t kMethodBits = PolicyRowOf(PolicyValue::RightClickMethod).Bits;

// The bit an on/off policy decides; 0 for the others.
constexpr std::uint32_t SwitchBit(const PolicyRow& row) { return row.Kind == PolicyKind::Switch ? row.Bits : 0; }

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

std::uint32_t DecidedSetupBits(const Policies& policies) {
  if (SettingsLocked(policies)) return SETUP_DIALOG_BITS;
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    if (policies.Configured[i]) bits |= POLICY_ROWS[i].Bits;
  }
  return bits;
}

bool WaitTimeDecided(const Policies& policies) {
  return SettingsLocked(policies) || policies.Has(PolicyValue::HoldTime);
}

SettingsInForce MergePolicies(std::uint32_t storedButtonSetup, std::int32_t storedWaitTime, const Policies& policies) {
  SettingsInForce merged{storedButtonSetup, storedWaitTime};
  if (policies.Has(PolicyValue::RightClickMethod)) {
    merged.ButtonSetup &= ~kMethodBits;
    switch (policies.Of(PolicyValue::RightClickMethod)) {
      case POLICY_METHOD_HOLD_STILL: merged.ButtonSetup |= SETUP_HOLD_STILL; break;
      case POLICY_METHOD_FUNCTION_BUTTON: merged.ButtonSetup |= SETUP_FUNCTION_BUTTON; break;
      default: break;  // none
    }
  }
  if (policies.Has(PolicyValue::HoldTime)) merged.WaitTime = static_cast<std::int32_t>(policies.Of(PolicyValue::HoldTime));
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    const std::uint32_t bit = SwitchBit(POLICY_ROWS[i]);
    if (bit == 0 || !policies.Configured[i]) continue;
    if (policies.Value[i] != 0) {
      merged.ButtonSetup |= bit;
    } else {
      merged.ButtonSetup &= ~bit;
    }
  }
  return merged;
}

bool SetupCommandNeeded(const SettingsInForce& before, const SettingsInForce& after) {
  return ((before.ButtonSetup ^ after.ButtonSetup) & kMethodBits) != 0 || before.WaitTime != after.WaitTime;
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
