// Decisions of the settings dialog, free of any window: which bits the controls mean, what OK
// stores and whether the controller must be told.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/app_state.h"
#include "core/policy_merge.h"
#include "core/settings_table.h"
#include "res/resource_ids.h"

// The controls that edit the word of bits, in POLICY_ROWS order: each switch row's box and the
// method row's radio buttons. The dialog reads and writes these and no others, so a new switch row
// brings its box with it.
constexpr std::size_t WordControlCount() {
  std::size_t count = 0;
  for (const PolicyRow& row : POLICY_ROWS) {
    if (row.Kind != PolicyKind::Switch && row.Kind != PolicyKind::Method) continue;
    for (int id : row.Controls) count += id != 0 ? 1 : 0;
  }
  return count;
}
constexpr std::size_t WORD_CONTROL_COUNT = WordControlCount();
constexpr std::array<int, WORD_CONTROL_COUNT> WORD_CONTROLS = [] {
  std::array<int, WORD_CONTROL_COUNT> ids{};
  std::size_t next = 0;
  for (const PolicyRow& row : POLICY_ROWS) {
    if (row.Kind != PolicyKind::Switch && row.Kind != PolicyKind::Method) continue;
    for (int id : row.Controls) {
      if (id != 0) ids[next++] = id;
    }
  }
  return ids;
}();
// Every control the rows name is listed, none twice (POLICY_ROWS greys each control once).
constexpr bool EveryWordControlListed() {
  for (int id : WORD_CONTROLS) {
    if (id == 0) return false;
  }
  return true;
}
static_assert(EveryWordControlListed());

// The method row's radio buttons stand for the methods in RightClickMethod order.
static_assert(PolicyRowOf(PolicyValue::RightClickMethod).Controls ==
              std::array<int, MAX_CONTROLS_PER_POLICY>{IDC_METHOD_NONE, IDC_METHOD_BUTTON, IDC_METHOD_HOLD});

// Check states of the dialog's boxes and radio buttons, by control identifier (true: exactly
// checked). Only WORD_CONTROLS have a state; any other identifier reads unchecked.
class SettingsControls {
 public:
  constexpr bool& operator[](int id) { return checked_[IndexOf(id)]; }
  constexpr bool operator[](int id) const { return checked_[IndexOf(id)]; }

 private:
  static constexpr std::size_t IndexOf(int id) {
    std::size_t i = 0;
    while (i < WORD_CONTROL_COUNT && WORD_CONTROLS[i] != id) ++i;
    return i;
  }
  // One more than the controls: what a foreign identifier reads and writes, never read back as a bit.
  std::array<bool, WORD_CONTROL_COUNT + 1> checked_{};
};
static_assert(!SettingsControls{}[IDC_WAIT_SLIDER], "a control outside the word reads unchecked");

// The controls for a stored word: each switch row's box from its bit, and exactly one method radio
// button (the function button wins when both method bits are set).
SettingsControls ControlsForSetupWord(std::uint32_t buttonSetup);

// The word the controls stand for. Only the dialog's bits can be set.
std::uint32_t SetupWordFromControls(const SettingsControls& controls);

// What one OK does. Stored: the user's values from now on (the shown ones, and the stored one
// wherever a policy decides); Store: which of them are written now; InForce: what goes in force.
struct SettingsCommit {
  SettingValues InForce = StoredDefaults();
  SettingValues Stored = StoredDefaults();
  SettingFlags Store = SettingFlags::Filled(false);
  bool QueueSetup = false;  // the controller needs the setup command
};

// OK without policies. inForce: the values in force before; shown: the dialog's (the word of its
// boxes and buttons, the slider's hold time); saved: what this run's OK last stored
// (SavedSettingsOf). The shown values go in force and are stored: a word every time, a number
// when it differs from the one last stored (so the first OK of a run stores it). The controller
// is told when the method bits change or a number it takes is stored.
SettingsCommit DecideCommit(const SettingValues& inForce, const SettingValues& shown, const SettingValues& saved);

// OK while policies decide part of the settings; without a policy it is DecideCommit's commit.
// user: the values last read or stored. What a policy decides counts for nothing of the shown
// values (the stored one stands in for it): a decided bit keeps its stored value, a decided number
// is never stored, and a word whose every shown bit is decided is not stored.
SettingsCommit DecideManagedCommit(const SettingValues& inForce, const SettingValues& user, const SettingValues& shown,
                                   const SettingValues& saved, const Policies& policies);

// Puts a commit in force in the state record: remembers the numbers stored and, when a command is
// due, queues it for the device thread after the new values are in place. Never waits.
void PutCommitInForce(AppStateRecord& state, const SettingsCommit& commit);

constexpr std::size_t WAIT_LABEL_CAPACITY = 20;

// The hold-time label: seconds with one decimal, a space and the unit word; cut at the capacity.
void FormatWaitTimeLabel(std::span<wchar_t> dest, std::int32_t waitTime, const wchar_t* unitText);
