// Managed settings: what the policy values (core/policy_names.h) decide, merged over the stored
// settings. Policies only ever replace what is in force; the stored values stay the user's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/policy_names.h"
#include "core/settings_table.h"

// RightClickMethod's values.
constexpr std::uint32_t POLICY_METHOD_NONE = 0;
constexpr std::uint32_t POLICY_METHOD_HOLD_STILL = 1;
constexpr std::uint32_t POLICY_METHOD_FUNCTION_BUTTON = 2;

// One value as the registry holds it. Data holds the first four bytes (little-endian, the rest
// zero) of a value of at most four bytes; Size is the value's full size.
struct RawPolicyValue {
  bool Present = false;
  std::uint32_t Type = 0;
  std::uint32_t Size = 0;
  std::uint32_t Data = 0;
  friend bool operator==(const RawPolicyValue&, const RawPolicyValue&) = default;
};
using RawPolicies = std::array<RawPolicyValue, POLICY_COUNT>;

// The policies that decide: a configured, valid value per name, or none.
struct Policies {
  std::array<bool, POLICY_COUNT> Configured{};
  std::array<std::uint32_t, POLICY_COUNT> Value{};
  bool Has(PolicyValue v) const { return Configured[static_cast<std::size_t>(v)]; }
  std::uint32_t Of(PolicyValue v) const { return Value[static_cast<std::size_t>(v)]; }
  bool Any() const;
  friend bool operator==(const Policies&, const Policies&) = default;
};

// A present value is valid when it is a REG_DWORD (four bytes) inside its accepted range.
bool PolicyValueValid(PolicyValue v, const RawPolicyValue& raw);

// The valid values of a reading; invalid and absent ones configure nothing.
Policies DecidePolicies(const RawPolicies& raw);

// AllowSettingsChanges 0: every control of the settings dialog is read-only.
bool SettingsLocked(const Policies& policies);

// What of a stored value the user may not change: the bits a policy decides of a word, the whole
// of a number a policy decides, and everything the dialog edits while settings changes are locked.
std::uint32_t DecidedPart(const Policies& policies, StoredSetting s);

// The settings in force: the stored ones with every configured policy over them, each row merged as
// its kind says (a switch sets or clears its bit, the method both method bits, a number the whole
// value; the lock decides no value).
SettingValues MergePolicies(const SettingValues& stored, const Policies& policies);

// Whether the controller must be told about a change of the settings in force: a part that its
// setup command carries differs (SETUP_COMMAND_PARTS; the other bits are the program's own business).
bool SetupCommandNeeded(const SettingValues& before, const SettingValues& after);

// Invalid values are reported once per distinct value for the whole run: a value that reads
// absent or valid for a while (a Group Policy refresh deletes and writes it again) and comes back
// says nothing new. Each name remembers its last few distinct bad values; past that, the oldest
// is forgotten (and would be said again).
constexpr std::size_t IGNORED_REMEMBERED_PER_NAME = 8;
struct IgnoredPolicyMemory {
  std::array<std::array<RawPolicyValue, IGNORED_REMEMBERED_PER_NAME>, POLICY_COUNT> Reported{};
  std::array<std::size_t, POLICY_COUNT> Next{};  // the slot the next new bad value takes
};

// The invalid values of a reading not yet reported, marked in out; remembers them as reported.
// Returns how many.
std::size_t TakeNewlyIgnored(IgnoredPolicyMemory& memory, const RawPolicies& raw,
                             std::array<bool, POLICY_COUNT>& out);

// When the policy watch reads. A Group Policy refresh deletes the values it applied and writes
// them again, one by one: the watch reads once no change has been heard for POLICY_QUIET_MS, or
// POLICY_QUIET_CAP_MS after the first change of a burst, so endless changes are still read.
constexpr std::uint32_t POLICY_QUIET_MS = 500;
constexpr std::uint32_t POLICY_QUIET_CAP_MS = 4000;

// How much longer to wait before reading, given the time since the first change heard after the
// last reading and since the latest one; 0: read now.
std::uint32_t PolicyReadDelay(std::uint32_t sinceFirstChange, std::uint32_t sinceLatestChange);

// "RightClickMethod=2, HoldTime=150" for the configured values, in table order; "none" for none.
// Cut at the destination's capacity, always terminated.
void FormatPoliciesInForce(std::span<wchar_t> dest, const Policies& policies);

// One line for the status log about an ignored value: its name, what was found and what is accepted.
void FormatIgnoredPolicy(std::span<wchar_t> dest, PolicyValue v, const RawPolicyValue& raw);
