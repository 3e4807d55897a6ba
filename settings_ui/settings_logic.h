// Decisions of the settings dialog, free of any window: which bits the controls mean, what OK
// stores and whether the controller must be told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/app_state.h"
#include "core/policy_merge.h"

// Check states of the dialog's boxes and radio buttons (true: exactly checked).
struct SettingsControls {
  bool LeftSound = false;     // 1000
  bool RightSound = false;    // 1001
  bool RightFlash = false;    // 1002
  bool OnceOnly = false;      // 1003
  bool MethodNone = false;    // 1009
  bool MethodButton = false;  // 1010
  bool MethodHold = false;    // 1011
};

// The controls for a stored word: the four boxes from their bits, and exactly one method radio
// button (the function button wins when both method bits are set).
SettingsControls ControlsForSetupWord(std::uint32_t buttonSetup);

// The word the controls stand for. Only the dialog's six bits can be set.
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
