// Managed settings: what the policy values (core/policy_names.h) decide, merged over the stored
// settings. Policies only ever replace what is in force; the stored values stay the user's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/policy_names.h"

// Positions in POLICY_VALUES.
enum class PolicyValue : std::size_t {
  RightClickMethod,
  HoldTime,
  LeftClickSound,
  RightClickSound,
  RightClickIndicator,
  ButtonOnceOnly,
  AllowSettingsChanges,
};
constexpr std::size_t POLICY_COUNT = POLICY_VALUES.size();

// RightClickMethod's values.
constexpr std::uint32_t POLICY_METHOD_NONE = 0;
constexpr std::uint32_t POLICY_METHOD_HOLD_STILL = 1;
constexpr std::uint32_t POLICY_METHOD_FUNCTION_BUTTON = 2;

// The bits of ButtonSetup that the settings dialog shows.
constexpr std::uint32_t SETUP_DIALOG_BITS = 0x3F;

constexpr std::uint32_t REGISTRY_TYPE_DWORD = 4;  // REG_DWORD

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

// The bits of ButtonSetup that the user may not change (all the dialog's bits when locked).
std::uint32_t DecidedSetupBits(const Policies& policies);

// Whether the user may not change the hold time.
bool WaitTimeDecided(const Policies& policies);

// The settings in force: the stored ones with every configured policy in place of what it decides.
struct SettingsInForce {
  std::uint32_t ButtonSetup = 0;
  std::int32_t WaitTime = 0;
  friend bool operator==(const SettingsInForce&, const SettingsInForce&) = default;
};
SettingsInForce MergePolicies(std::uint32_t storedButtonSetup, std::int32_t storedWaitTime, const Policies& policies);

// Whether the controller must be told about a change of the settings in force: the method bits or
// the hold time differ (the other bits are the program's own business).
bool SetupCommandNeeded(const SettingsInForce& before, const SettingsInForce& after);

// Invalid values are reported once: the last invalid value reported per name, forgotten when the
// name reads valid or absent, so a re-read of the same bad value says nothing new.
struct IgnoredPolicyMemory {
  RawPolicies Reported{};
};

// The invalid values of a reading not yet reported, marked in out; remembers them as reported.
// Returns how many.
std::size_t TakeNewlyIgnored(IgnoredPolicyMemory& memory, const RawPolicies& raw,
                             std::array<bool, POLICY_COUNT>& out);

// "RightClickMethod=2, HoldTime=150" for the configured values, in table order; "none" for none.
// Cut at the destination's capacity, always terminated.
void FormatPoliciesInForce(std::span<wchar_t> dest, const Policies& policies);

// One line for the status log about an ignored value: its name, what was found and what is accepted.
void FormatIgnoredPolicy(std::span<wchar_t> dest, PolicyValue v, const RawPolicyValue& raw);
