#include "in_force/settings_in_force.h"

#include "button/function_button.h"
#include "core/app_state.h"
#include "core/command_handover.h"
#include "core/settings_store.h"
#include "core/settings_table.h"
#include "eventlog/event_log.h"

void FollowSettingsInForce(std::uint32_t buttonSetup) { ApplyButtonVisibility(buttonSetup); }

bool LoadSettingsInForce() {
  // While AllowSettingsChanges 0 is in force the settings key is not read again: users may write
  // it, and what they write meanwhile must not change the settings in force.
  const bool locked = SettingsLocked(AppState.PoliciesInForce);
  const StoredValue& setupValue = StoredValueOf(StoredSetting::ButtonSetup);
  const StoredValue& waitValue = StoredValueOf(StoredSetting::WaitTime);
  const std::uint32_t stored = locked ? SETTING_UNAVAILABLE : ReadSetting(setupValue.Name, setupValue.Default);
  const std::uint32_t storedWait = locked ? SETTING_UNAVAILABLE : ReadSetting(waitValue.Name, waitValue.Default);
  // An unreadable store keeps what was last read or stored (unshown bits included).
  if (stored != SETTING_UNAVAILABLE) AppState.UserButtonSetup = stored;
  if (storedWait != SETTING_UNAVAILABLE) AppState.UserWaitTime = static_cast<std::int32_t>(storedWait);
  const SettingsInForce inForce =
      MergePolicies(AppState.UserButtonSetup, AppState.UserWaitTime, AppState.PoliciesInForce);
  AppState.ButtonSetup.store(inForce.ButtonSetup, std::memory_order_release);
  AppState.WaitTime.store(inForce.WaitTime, std::memory_order_release);
  FollowSettingsInForce(inForce.ButtonSetup);
  return stored != SETTING_UNAVAILABLE;
}

void ApplyPolicies(const Policies& policies) {
  const SettingsInForce before{AppState.ButtonSetup.load(std::memory_order_acquire),
                               AppState.WaitTime.load(std::memory_order_acquire)};
  AppState.PoliciesInForce = policies;
  const SettingsInForce after = MergePolicies(AppState.UserButtonSetup, AppState.UserWaitTime, policies);
  // As OK puts settings in force: a command only when the controller's part changed, never waited for.
  if (SetupCommandNeeded(before, after)) {
    RequestSetup(AppState, after.ButtonSetup, after.WaitTime);
  } else {
    AppState.ButtonSetup.store(after.ButtonSetup, std::memory_order_release);
    AppState.WaitTime.store(after.WaitTime, std::memory_order_release);
  }
  FollowSettingsInForce(after.ButtonSetup);
  ReportPoliciesInForce(policies, after.ButtonSetup, after.WaitTime);
}
