// Ostinel's settings, described once: the key that stores them, each stored value (its registry
// name, type, default and range, and the bits of ButtonSetup), the policy that may decide it and
// the controls of the settings dialog that edit it. The store, the dialog, the policy merge and
// the support report read this table; core/check_settings.py fails the tests when the installers,
// the administrative templates' table (core/policy_names.h) or a test names anything else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/policy_names.h"
#include "res/resource_ids.h"

// HKEY_LOCAL_MACHINE\SETTINGS_KEY, in the 32-bit view of the registry, where existing installations
// keep it.
constexpr wchar_t SETTINGS_KEY[] = L"SOFTWARE\\Vemto\\Brenlo";

constexpr std::uint32_t REGISTRY_TYPE_DWORD = 4;  // REG_DWORD

// Feature bits of ButtonSetup.
constexpr std::uint32_t SETUP_LEFT_SOUND = 0x01;
constexpr std::uint32_t SETUP_RIGHT_SOUND = 0x02;
constexpr std::uint32_t SETUP_HOLD_STILL = 0x04;
constexpr std::uint32_t SETUP_RIGHT_FLASH = 0x08;  // the ring
constexpr std::uint32_t SETUP_FUNCTION_BUTTON = 0x10;
constexpr std::uint32_t SETUP_ONCE_ONLY = 0x20;
constexpr std::uint32_t DEFAULT_BUTTON_SETUP = 15;

// WaitTime: hundredths of a second a touch is held still before the controller makes a right click
// (the hold time).
constexpr std::int32_t WAIT_TIME_MIN = 50;
constexpr std::int32_t WAIT_TIME_MAX = 500;
constexpr std::int32_t WAIT_TIME_DEFAULT = 100;
constexpr std::int32_t WAIT_TIME_TICK = 50;

// The stored values, positions in STORED_VALUES.
enum class StoredSetting : std::size_t { ButtonSetup, WaitTime };

struct StoredValue {
  const wchar_t* Name;       // the registry value's name
  std::uint32_t Type;        // the registry type written
  std::uint32_t Default;     // stored when the key is made, read when the value is missing
  std::uint32_t Lowest;      // what the settings dialog can make, both ends included
  std::uint32_t Highest;
};

constexpr std::array<StoredValue, 2> STORED_VALUES = {{
    {L"ButtonSetup", REGISTRY_TYPE_DWORD, DEFAULT_BUTTON_SETUP, 0, 0x3F},
    {L"WaitTime", REGISTRY_TYPE_DWORD, static_cast<std::uint32_t>(WAIT_TIME_DEFAULT),
     static_cast<std::uint32_t>(WAIT_TIME_MIN), static_cast<std::uint32_t>(WAIT_TIME_MAX)},
}};

constexpr const StoredValue& StoredValueOf(StoredSetting s) { return STORED_VALUES[static_cast<std::size_t>(s)]; }

// What a policy decides: on/off switches one bit of ButtonSetup, the method both method bits, a
// number a whole stored value; AllowSettingsChanges decides no value but locks the whole dialog.
enum class PolicyKind { Switch, Method, Number, Lock };

constexpr std::size_t MAX_CONTROLS_PER_POLICY = 3;

struct PolicyRow {
  PolicyValue Policy;
  PolicyKind Kind;
  StoredSetting Setting;  // the stored value the policy decides (none for Lock)
  std::uint32_t Bits;     // the bits of ButtonSetup it decides; 0 for a number
  // The dialog's controls it greys out; 0 ends the list.
  std::array<int, MAX_CONTROLS_PER_POLICY> Controls;
};

// One row per policy, in POLICY_VALUES order.
constexpr std::array<PolicyRow, POLICY_COUNT> POLICY_ROWS = {{
    {PolicyValue::RightClickMethod, PolicyKind::Method, StoredSetting::ButtonSetup,
     SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON, {IDC_METHOD_NONE, IDC_METHOD_BUTTON, IDC_METHOD_HOLD}},
    {PolicyValue::HoldTime, PolicyKind::Number, StoredSetting::WaitTime, 0, {IDC_WAIT_SLIDER, IDC_WAIT_LABEL, 0}},
    {PolicyValue::LeftClickSound, PolicyKind::Switch, StoredSetting::ButtonSetup, SETUP_LEFT_SOUND,
     {IDC_LEFT_SOUND, 0, 0}},
    {PolicyValue::RightClickSound, PolicyKind::Switch, StoredSetting::ButtonSetup, SETUP_RIGHT_SOUND,
     {IDC_RIGHT_SOUND, 0, 0}},
    {PolicyValue::RightClickIndicator, PolicyKind::Switch, StoredSetting::ButtonSetup, SETUP_RIGHT_FLASH,
     {IDC_RIGHT_FLASH, 0, 0}},
    {PolicyValue::ButtonOnceOnly, PolicyKind::Switch, StoredSetting::ButtonSetup, SETUP_ONCE_ONLY,
     {IDC_ONCE_ONLY, 0, 0}},
    {PolicyValue::AllowSettingsChanges, PolicyKind::Lock, StoredSetting::ButtonSetup, 0, {0, 0, 0}},
}};

constexpr const PolicyRow& PolicyRowOf(PolicyValue v) { return POLICY_ROWS[static_cast<std::size_t>(v)]; }

// The bits of ButtonSetup that the settings dialog shows: every bit a policy may decide.
constexpr std::uint32_t PolicyDecidableBits() {
  std::uint32_t bits = 0;
  for (const PolicyRow& row : POLICY_ROWS) bits |= row.Bits;
  return bits;
}
constexpr std::uint32_t SETUP_DIALOG_BITS = PolicyDecidableBits();

// The table agrees with itself and with the policies' accepted ranges (HoldTime accepts what the
// dialog can make).
constexpr bool PolicyRowsInOrder() {
  for (std::size_t i = 0; i < POLICY_ROWS.size(); ++i) {
    if (static_cast<std::size_t>(POLICY_ROWS[i].Policy) != i) return false;
  }
  return true;
}
static_assert(PolicyRowsInOrder(), "POLICY_ROWS follows POLICY_VALUES");

// Each row decides what its kind says and accepts the values that kind means; no two rows decide the
// same bit or grey the same control, and a row greys only controls that edit a setting (never OK,
// Cancel or the note).
constexpr bool EditsASetting(int id) { return id == 0 || (id >= IDC_LEFT_SOUND && id <= IDC_METHOD_HOLD); }
constexpr bool PolicyRowFitsItsKind(const PolicyRow& row) {
  const PolicyValueName& accepted = POLICY_VALUES[static_cast<std::size_t>(row.Policy)];
  const StoredValue& stored = STORED_VALUES[static_cast<std::size_t>(row.Setting)];
  switch (row.Kind) {
    case PolicyKind::Switch:
      return row.Setting == StoredSetting::ButtonSetup && row.Bits != 0 && (row.Bits & (row.Bits - 1)) == 0 &&
             accepted.Lowest == 0 && accepted.Highest == 1;
    case PolicyKind::Method:
      return row.Setting == StoredSetting::ButtonSetup && row.Bits == (SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON) &&
             accepted.Lowest == 0 && accepted.Highest == 2;
    case PolicyKind::Number:
      return row.Bits == 0 && row.Setting != StoredSetting::ButtonSetup && accepted.Lowest == stored.Lowest &&
             accepted.Highest == stored.Highest;
    case PolicyKind::Lock:
      return row.Bits == 0 && row.Controls[0] == 0 && accepted.Lowest == 0 && accepted.Highest == 1;
  }
  return false;
}
constexpr bool PolicyRowsApart() {
  for (std::size_t i = 0; i < POLICY_ROWS.size(); ++i) {
    if (!PolicyRowFitsItsKind(POLICY_ROWS[i])) return false;
    for (int id : POLICY_ROWS[i].Controls) {
      if (!EditsASetting(id)) return false;
    }
    for (std::size_t j = i + 1; j < POLICY_ROWS.size(); ++j) {
      if ((POLICY_ROWS[i].Bits & POLICY_ROWS[j].Bits) != 0) return false;
      for (int a : POLICY_ROWS[i].Controls) {
        for (int b : POLICY_ROWS[j].Controls) {
          if (a != 0 && a == b) return false;
        }
      }
    }
  }
  return true;
}
static_assert(PolicyRowsApart(), "a policy row decides what its kind says, and no two rows overlap");
static_assert(SETUP_DIALOG_BITS == StoredValueOf(StoredSetting::ButtonSetup).Highest);
