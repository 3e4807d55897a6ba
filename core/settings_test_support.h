// For tests: the record of stored values with the setup word and the hold time given and every
// other stored value at the table's default, so that a new row does not change what a test says.
#pragma once

#include <cstdint>

#include "core/settings_table.h"

inline SettingValues SetupAndWait(std::uint32_t buttonSetup, std::int32_t waitTime) {
  return StoredDefaults()
      .With(StoredSetting::ButtonSetup, buttonSetup)
      .With(StoredSetting::WaitTime, static_cast<std::uint32_t>(waitTime));
}
