// Where administrators set Ostinel's policies (Group Policy, Intune or any tool that writes the
// registry): REG_DWORD values under HKEY_LOCAL_MACHINE, read in the 64-bit view, each absent when
// not configured. The administrative templates (policy/Ostinel.admx) write exactly these; their
// check reads this table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr wchar_t POLICY_KEY[] = L"SOFTWARE\\Policies\\Vemto\\Ostinel";

struct PolicyValueName {
  const wchar_t* Name;
  std::uint32_t Lowest;   // accepted range, both ends included
  std::uint32_t Highest;
};

constexpr std::array<PolicyValueName, 7> POLICY_VALUES = {{
    {L"RightClickMethod", 0, 2},  // 0 none, 1 press and hold still, 2 the function button
    {L"HoldTime", 50, 500},       // hundredths of a second
    {L"LeftClickSound", 0, 1},
    {L"RightClickSound", 0, 1},
    {L"RightClickIndicator", 0, 1},
    {L"ButtonOnceOnly", 0, 1},
    {L"AllowSettingsChanges", 0, 1},  // 0: the settings dialog opens read-only
}};

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
