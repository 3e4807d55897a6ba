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

// Whether the right-click method of the controls differs from the old word's, bit by bit.
bool MethodChanged(std::uint32_t oldButtonSetup, const SettingsControls& controls);

// What one OK does.
struct SettingsCommit {
  std::uint32_t ButtonSetup = 0;  // always stored and put in force
  std::int32_t WaitTime = 0;      // put in force
  bool StoreWaitTime = false;     // also store WaitTime (it differs from the last one stored)
  bool QueueSetup = false;        // the controller needs the setup command
};

SettingsCommit DecideCommit(std::uint32_t oldButtonSetup, const SettingsControls& controls,
                            std::int32_t sliderWaitTime, std::int32_t savedWaitTime);

// What one OK does while policies decide part of the settings. Without a policy it is DecideCommit's
// commit with the word always stored, as before.
struct ManagedCommit {
  SettingsCommit Commit;          // in force: the stored settings with the policies over them
  bool StoreButtonSetup = true;   // false when a policy decides every bit the dialog shows
  std::uint32_t StoredButtonSetup = 0;  // the user's bits; the stored ones where a policy decides
};

// oldButtonSetup: the word in force; storedButtonSetup and storedWaitTime: the values last read or
// stored. A control the user may not change counts for nothing (the stored value stands in for
// it), and a hold time a policy decides is never stored.
ManagedCommit DecideManagedCommit(std::uint32_t oldButtonSetup, std::uint32_t storedButtonSetup,
                                  std::int32_t storedWaitTime, const SettingsControls& controls,
                                  std::int32_t sliderWaitTime, std::int32_t savedWaitTime, const Policies& policies);

// Puts a commit in force in the state record: remembers a stored hold time and, when a command is
// due, queues it for the device thread after the new values are in place. Never waits.
void PutCommitInForce(AppStateRecord& state, const SettingsCommit& commit);

constexpr std::size_t WAIT_LABEL_CAPACITY = 20;

// The hold-time label: seconds with one decimal, a space and the unit word; cut at the capacity.
void FormatWaitTimeLabel(std::span<wchar_t> dest, std::int32_t waitTime, const wchar_t* unitText);
