#include "core/app_state.h"

AppStateRecord AppState;

// Each switch names every stored setting: a new row does not compile until its field is named here.

SettingValues SettingsInForceOf(const AppStateRecord& state) {
  SettingValues values = StoredDefaults();
  for (StoredSetting s : STORED_SETTINGS) {
    switch (s) {
      case StoredSetting::ButtonSetup: values[s] = state.ButtonSetup.load(std::memory_order_acquire); break;
      case StoredSetting::WaitTime:
        values[s] = static_cast<std::uint32_t>(state.WaitTime.load(std::memory_order_acquire));
        break;
    }
  }
  return values;
}

void StoreSettingsInForce(AppStateRecord& state, const SettingValues& values) {
  for (StoredSetting s : STORED_SETTINGS) {
    switch (s) {
      case StoredSetting::ButtonSetup: state.ButtonSetup.store(values[s], std::memory_order_release); break;
      case StoredSetting::WaitTime:
        state.WaitTime.store(static_cast<std::int32_t>(values[s]), std::memory_order_release);
        break;
    }
  }
}

SettingValues SavedSettingsOf(const AppStateRecord& state) {
  SettingValues values = SettingValues::Filled(NOT_SAVED_YET);
  for (StoredSetting s : STORED_SETTINGS) {
    switch (s) {
      case StoredSetting::ButtonSetup: break;
      case StoredSetting::WaitTime: values[s] = static_cast<std::uint32_t>(state.SavedWaitTime); break;
    }
  }
  return values;
}

void RememberSavedSettings(AppStateRecord& state, const SettingValues& values, const SettingFlags& stored) {
  for (StoredSetting s : STORED_SETTINGS) {
    if (!stored[s]) continue;
    switch (s) {
      case StoredSetting::ButtonSetup: break;
      case StoredSetting::WaitTime: state.SavedWaitTime = static_cast<std::int32_t>(values[s]); break;
    }
  }
}
