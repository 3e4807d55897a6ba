#include "settings_ui/settings_logic.h"

#include "core/bounded_text.h"
#include "core/command_handover.h"

SettingsControls ControlsForSetupWord(std::uint32_t buttonSetup) {
  SettingsControls c;
  for (const PolicyRow& row : POLICY_ROWS) {
    switch (row.Kind) {
      case PolicyKind::Switch: c[row.Controls[0]] = (buttonSetup & row.Bits) != 0; break;
      case PolicyKind::Method:
        c[row.Controls[static_cast<std::size_t>(RightClickMethodOf(buttonSetup))]] = true;
        break;
      case PolicyKind::Number:
      case PolicyKind::Lock: break;
    }
  }
  return c;
}

std::uint32_t SetupWordFromControls(const SettingsControls& controls) {
  std::uint32_t word = 0;
  for (const PolicyRow& row : POLICY_ROWS) {
    switch (row.Kind) {
      case PolicyKind::Switch:
        if (controls[row.Controls[0]]) word |= row.Bits;
        break;
      case PolicyKind::Method:
        if (controls[row.Controls[static_cast<std::size_t>(RightClickMethod::HoldStill)]]) word |= SETUP_HOLD_STILL;
        if (controls[row.Controls[static_cast<std::size_t>(RightClickMethod::FunctionButton)]]) {
          word |= SETUP_FUNCTION_BUTTON;
        }
        break;
      case PolicyKind::Number:
      case PolicyKind::Lock: break;
    }
  }
  return word;
}

namespace {

// Whether the controller must hear of a commit: a part of a word that its setup command carries
// changed, or a number it takes is stored.
bool SetupCommandDue(const SettingValues& inForce, const SettingsCommit& commit) {
  for (StoredSetting s : STORED_SETTINGS) {
    const bool due = HoldsBits(s) ? ((inForce[s] ^ commit.InForce[s]) & SETUP_COMMAND_PARTS[s]) != 0
                                  : commit.Store[s] && SETUP_COMMAND_PARTS[s] != 0;
    if (due) return true;
  }
  return false;
}

}  // namespace

SettingsCommit DecideCommit(const SettingValues& inForce, const SettingValues& shown, const SettingValues& saved) {
  SettingsCommit commit;
  commit.InForce = shown;
  commit.Stored = shown;
  // A number's saved value is NOT_SAVED_YET until the first OK of a run, so that OK always stores and sends.
  for (StoredSetting s : STORED_SETTINGS) commit.Store[s] = HoldsBits(s) || shown[s] != saved[s];
  commit.QueueSetup = SetupCommandDue(inForce, commit);
  return commit;
}

SettingsCommit DecideManagedCommit(const SettingValues& inForce, const SettingValues& user, const SettingValues& shown,
                                   const SettingValues& saved, const Policies& policies) {
  SettingsCommit commit;
  for (StoredSetting s : STORED_SETTINGS) {
    const std::uint32_t decided = DecidedPart(policies, s);
    commit.Stored[s] = (shown[s] & ~decided) | (user[s] & decided);
    commit.Store[s] = HoldsBits(s) ? decided != EditablePart(s) : decided == 0 && shown[s] != saved[s];
  }
  commit.InForce = MergePolicies(commit.Stored, policies);
  commit.QueueSetup = SetupCommandDue(inForce, commit);
  return commit;
}

void PutCommitInForce(AppStateRecord& state, const SettingsCommit& commit) {
  RememberSavedSettings(state, commit.Stored, commit.Store);
  if (commit.QueueSetup) {
    RequestSetup(state, commit.InForce);
  } else {
    StoreSettingsInForce(state, commit.InForce);
  }
}

void FormatWaitTimeLabel(std::span<wchar_t> dest, std::int32_t waitTime, const wchar_t* unitText) {
  FormatBounded(dest, L"%.1f %ls", WaitTimeSeconds(waitTime), unitText);
}
