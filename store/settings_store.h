// The persistent settings: 32-bit values under HKEY_LOCAL_MACHINE\SETTINGS_KEY (core/settings_table.h).
//
// Nothing is kept between calls: every read and write opens (or creates) the key and closes it
// again. The key lives in the 32-bit view of the registry, where existing installations keep it.
#pragma once

#include <cstdint>

// Sentinel returned by ReadSetting when the key can be neither opened nor created. A stored value
// with all bits set reads the same.
constexpr std::uint32_t SETTING_UNAVAILABLE = 0xFFFFFFFFu;

// Reads one value. When the key was missing it is created and defaultValue is stored under
// valueName; when the value is missing or does not fit in four bytes, defaultValue is returned.
std::uint32_t ReadSetting(const wchar_t* valueName, std::uint32_t defaultValue);

// Writes one value as REG_DWORD, creating the key when needed. False when it was not stored (the
// key could be neither opened nor created for writing, or the system refused the value), with the
// system's error code in the thread's last error.
bool WriteSetting(const wchar_t* valueName, std::uint32_t value);
