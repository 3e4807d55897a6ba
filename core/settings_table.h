// Ostinel's settings, described once: the key that stores them, each stored value (its registry
// name, type, default and range, and the bits of ButtonSetup), the policy that may decide it and
// the controls of the settings dialog that edit it, and the record (SettingValues) in which their
// values travel, one per row. The store, the dialog, the policy merge, the events and the support
// report read this table and loop over its rows; core/check_settings.py fails the tests when the
// installers, the administrative templates' table (core/policy_names.h) or a test names anything
// else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

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

// How the package's refusal of a ButtonSetup preset names each bit a policy row decides.
struct SetupBitWords {
  std::uint32_t Bit;
  const char* Words;
};
constexpr std::array SETUP_BIT_WORDS = {
    SetupBitWords{SETUP_LEFT_SOUND, "left-click sound"},
    SetupBitWords{SETUP_RIGHT_SOUND, "right-click sound"},
    SetupBitWords{SETUP_HOLD_STILL, "hold still"},
    SetupBitWords{SETUP_RIGHT_FLASH, "right-click indicator"},
    SetupBitWords{SETUP_FUNCTION_BUTTON, "function button"},
    SetupBitWords{SETUP_ONCE_ONLY, "function button for one right click only"},
};

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
  // How the package's refusal of a preset names the value and, for a number, its unit: "WAITTIME=..
  // is not <Thing> the settings dialog can make: use a decimal number of <Unit>, <lowest> to <highest>."
  const char* Thing;
  const char* Unit;  // nullptr for the word of bits, whose refusal lists its bits (SETUP_BIT_WORDS)
};

constexpr std::array<StoredValue, 2> STORED_VALUES = {{
    {L"ButtonSetup", REGISTRY_TYPE_DWORD, DEFAULT_BUTTON_SETUP, 0, 0x3F, "a setting", nullptr},
    {L"WaitTime", REGISTRY_TYPE_DWORD, static_cast<std::uint32_t>(WAIT_TIME_DEFAULT),
     static_cast<std::uint32_t>(WAIT_TIME_MIN), static_cast<std::uint32_t>(WAIT_TIME_MAX), "a hold time",
     "hundredths of a second"},
}};

constexpr const StoredValue& StoredValueOf(StoredSetting s) { return STORED_VALUES[static_cast<std::size_t>(s)]; }

constexpr std::size_t STORED_COUNT = STORED_VALUES.size();

// Every stored setting, in STORED_VALUES order, for loops over the rows.
constexpr std::array<StoredSetting, STORED_COUNT> STORED_SETTINGS = [] {
  std::array<StoredSetting, STORED_COUNT> all{};
  for (std::size_t i = 0; i < STORED_COUNT; ++i) all[i] = static_cast<StoredSetting>(i);
  return all;
}();

// One T per stored setting, indexed by StoredSetting. It is made from a full list (one value per
// row, in STORED_VALUES order: a list of another length does not compile) or filled with one
// value; there is no way to leave a setting out.
template <typename T>
class PerStoredSetting {
 public:
  template <typename... V>
    requires(sizeof...(V) == STORED_COUNT && (std::is_convertible_v<V, T> && ...))
  constexpr explicit PerStoredSetting(V... values) : values_{static_cast<T>(values)...} {}

  static constexpr PerStoredSetting Filled(T value) {
    PerStoredSetting all(value, Tag{});
    return all;
  }
  constexpr T& operator[](StoredSetting s) { return values_[static_cast<std::size_t>(s)]; }
  constexpr const T& operator[](StoredSetting s) const { return values_[static_cast<std::size_t>(s)]; }
  // A copy with one setting changed.
  constexpr PerStoredSetting With(StoredSetting s, T value) const {
    PerStoredSetting copy = *this;
    copy[s] = value;
    return copy;
  }
  friend bool operator==(const PerStoredSetting&, const PerStoredSetting&) = default;

 private:
  struct Tag {};
  constexpr PerStoredSetting(T value, Tag) { values_.fill(value); }
  std::array<T, STORED_COUNT> values_{};
};

// The stored values as one record: what the store holds, what the user chose, what is in force.
using SettingValues = PerStoredSetting<std::uint32_t>;
// One yes or no per stored setting (which of them OK writes, for one).
using SettingFlags = PerStoredSetting<bool>;

// A list one value short (or none at all) makes no record.
template <std::size_t... I>
constexpr bool MadeFromAShortList(std::index_sequence<I...>) {
  return std::is_constructible_v<SettingValues, decltype(I, 0u)...>;
}
static_assert(!MadeFromAShortList(std::make_index_sequence<STORED_COUNT - 1>{}) &&
              !std::is_default_constructible_v<SettingValues>);

// The table's defaults, what the program starts with and reads for a missing value.
constexpr SettingValues StoredDefaults() {
  SettingValues values = SettingValues::Filled(0);
  for (StoredSetting s : STORED_SETTINGS) values[s] = StoredValueOf(s).Default;
  return values;
}

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

// Whether a stored value is a word of bits (policy rows decide its bits one by one) rather than a
// number (a policy decides it whole).
constexpr bool HoldsBits(StoredSetting s) {
  for (const PolicyRow& row : POLICY_ROWS) {
    if (row.Setting == s && row.Bits != 0) return true;
  }
  return false;
}

// What of a stored value the dialog edits and a policy may decide: a word's policy bits, a whole number.
constexpr std::uint32_t EditablePart(StoredSetting s) {
  if (!HoldsBits(s)) return 0xFFFFFFFFu;
  std::uint32_t bits = 0;
  for (const PolicyRow& row : POLICY_ROWS) {
    if (row.Setting == s) bits |= row.Bits;
  }
  return bits;
}

// The part of each stored value that the controller's setup command carries (the method bits and
// the hold time); a change there is sent to the controller, a change elsewhere is not.
constexpr SettingValues SETUP_COMMAND_PARTS{SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON, 0xFFFFFFFFu};

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
      return row.Bits == 0 && !HoldsBits(row.Setting) && accepted.Lowest == stored.Lowest &&
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
static_assert(EditablePart(StoredSetting::ButtonSetup) == SETUP_DIALOG_BITS);

// Every stored value has its words, a unit exactly when it is a number; every bit a policy decides
// has its words, once.
constexpr bool WordsFollowTheTable() {
  for (StoredSetting s : STORED_SETTINGS) {
    if (StoredValueOf(s).Thing == nullptr || (StoredValueOf(s).Unit == nullptr) != HoldsBits(s)) return false;
  }
  std::uint32_t named = 0;
  for (const SetupBitWords& bit : SETUP_BIT_WORDS) {
    if ((named & bit.Bit) != 0 || (bit.Bit & (bit.Bit - 1)) != 0 || bit.Words == nullptr) return false;
    named |= bit.Bit;
  }
  return named == SETUP_DIALOG_BITS;
}
static_assert(WordsFollowTheTable(), "every stored value and every bit a policy decides has its words, once");
