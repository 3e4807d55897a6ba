#include "settings_ui/settings_logic.h"

#include "core/bounded_text.h"
#include "core/command_handover.h"

SettingsControls ControlsForSetupWord(std::uint32_t buttonSetup) {
  SettingsControls c;
  c.LeftSound = (buttonSetup & SETUP_LEFT_SOUND) != 0;
  c.RightSound = (buttonSetup & SETUP_RIGHT_SOUND) != 0;
  c.RightFlash = (buttonSetup & SETUP_RIGHT_FLASH) != 0;
  c.OnceOnly = (buttonSetup & SETUP_ONCE_ONLY) != 0;
  switch (RightClickMethodOf(buttonSetup)) {
    case RightClickMethod::FunctionButton: c.MethodButton = true; break;
    case RightClickMethod::HoldStill: c.MethodHold = true; break;
    case RightClickMethod::None: c.MethodNone = true; break;
  }
  return c;
}

std::uint32_t SetupWordFromControls(const SettingsControls& controls) {
  std::uint32_t word = 0;
  if (controls.LeftSound) word |= SETUP_LEFT_SOUND;
  if (controls.RightSound) word |= SETUP_RIGHT_SOUND;
  if (controls.MethodHold) word |= SETUP_HOLD_STILL;
  if (controls.OnceOnly) word |= SETUP_ONCE_ONLY;
  if (controls.MethodButton) word |= SETUP_FUNCTION_BUTTON;
  if (controls.RightFlash) word |= SETUP_RIGHT_FLASH;
  return word;
}

bool MethodChanged(std::uint32_t oldButtonSetup, const SettingsControls& controls) {
  const bool oldHold = (oldButtonSetup & SETUP_HOLD_STILL) != 0;
  const bool oldButton = (oldButtonSetup & SETUP_FUNCTION_BUTTON) != 0;
  return oldHold != controls.MethodHold || oldButton != controls.MethodButton;
}

SettingsCommit DecideCommit(std::uint32_t oldButtonSetup, const SettingsControls& controls,
                            std::int32_t sliderWaitTime, std::int32_t savedWaitTime) {
  SettingsCommit commit;
  commit.ButtonSetup = SetupWordFromControls(controls);
  commit.WaitTime = sliderWaitTime;
  // SavedWaitTime is -1 until the first OK of a run, so that OK always stores and sends.
  commit.StoreWaitTime = sliderWaitTime != savedWaitTime;
  commit.QueueSetup = commit.StoreWaitTime || MethodChanged(oldButtonSetup, controls);
  return commit;
}

ManagedCommit DecideManagedCommit(std::uint32_t oldButtonSetup, std::uint32_t storedButtonSetup,
                                  std::int32_t storedWaitTime, const SettingsControls& controls,
                                  std::int32_t sliderWaitTime, std::int32_t savedWaitTime, const Policies& policies) {
  const std::uint32_t decided = DecidedSetupBits(policies);
  ManagedCommit managed;
  managed.StoredButtonSetup = (SetupWordFromControls(controls) & ~decided) | (storedButtonSetup & decided);
  managed.StoreButtonSetup = decided != SETUP_DIALOG_BITS;
  const bool waitDecided = WaitTimeDecided(policies);
  const SettingsInForce inForce =
      MergePolicies(managed.StoredButtonSetup, waitDecided ? storedWaitTime : sliderWaitTime, policies);
  SettingsCommit& commit = managed.Commit;
  commit.ButtonSetup = inForce.ButtonSetup;
  commit.WaitTime = inForce.WaitTime;
  commit.StoreWaitTime = !waitDecided && sliderWaitTime != savedWaitTime;
  commit.QueueSetup = commit.StoreWaitTime || MethodChanged(oldButtonSetup, ControlsForSetupWord(inForce.ButtonSetup));
  return managed;
}

void PutCommitInForce(AppStateRecord& state, const SettingsCommit& commit) {
  if (commit.StoreWaitTime) state.SavedWaitTime = commit.WaitTime;
  if (commit.QueueSetup) {
    RequestSetup(state, commit.ButtonSetup, commit.WaitTime);
  } else {
    state.ButtonSetup.store(commit.ButtonSetup, std::memory_order_release);
    state.WaitTime.store(commit.WaitTime, std::memory_order_release);
  }
}

void FormatWaitTimeLabel(std::span<wchar_t> dest, std::int32_t waitTime, const wchar_t* unitText) {
  FormatBounded(dest, L"%.1f %ls", WaitTimeSeconds(waitTime), unitText);
}
