#include "in_force/settings_in_force.h"

#include "button/function_button.h"
#include "core/app_state.h"
#include "core/command_handover.h"
#include "store/settings_store.h"
#include "core/settings_table.h"
#include "eventlog/event_log.h"

void FollowSettingsInForce(const SettingValues& inForce) {
  ApplyButtonVisibility(inForce[StoredSetting::ButtonSetup]);
}

bool LoadSettingsInForce() {
  // While AllowSettingsChanges 0 is in force the settings key is not read again: users may write
  // it, and what they write meanwhile must not change the settings in force.
  const bool locked = SettingsLocked(AppState.PoliciesInForce);
  bool read = true;
  for (StoredSetting s : STORED_SETTINGS) {
    const StoredValue& value = StoredValueOf(s);
    const std::uint32_t stored = locked ? SETTING_UNAVAILABLE : ReadSetting(value.Name, value.Default);
    // An unreadable store keeps what was last read or stored (unshown bits included).
    if (stored != SETTING_UNAVAILABLE) AppState.UserSettings[s] = stored;
    // Whether the store could be read is told by the first value: the key is opened for each.
    if (s == STORED_SETTINGS[0]) read = stored != SETTING_UNAVAILABLE;
  }
  const SettingValues inForce = MergePolicies(AppState.UserSettings, AppState.PoliciesInForce);
  StoreSettingsInForce(AppState, inForce);
  FollowSettingsInForce(inForce);
  return read;
}

void ApplyPolicies(const Policies& policies) {
  const SettingValues before = SettingsInForceOf(AppState);
  AppState.PoliciesInForce = policies;
  const SettingValues after = MergePolicies(AppState.UserSettings, policies);
  // As OK puts settings in force: a command only when the controller's part changed, never waited for.
  if (SetupCommandNeeded(before, after)) {
    RequestSetup(AppState, after);
  } else {
    StoreSettingsInForce(AppState, after);
  }
  FollowSettingsInForce(after);
  ReportPoliciesInForce(policies, after);
}
