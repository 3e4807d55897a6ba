#include "store/settings_store.h"

#include <windows.h>

#include "core/settings_table.h"
#include "win/win_handles.h"

namespace {

// Opens the key with openRights; when it does not open, creates it (and any missing parents) with
// createRights. created reports whether the key had to be made.
UniqueRegKey OpenOrCreateSettingsKey(REGSAM openRights, REGSAM createRights, bool& created) {
  created = false;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, openRights | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
    return UniqueRegKey(key);
  }
  key = nullptr;
  const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         createRights | KEY_WOW64_32KEY, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));  // the reason, for a caller that reports it
    return UniqueRegKey();
  }
  created = true;
  return UniqueRegKey(key);
}

// A refused value leaves the system's reason in the thread's last error.
bool SetDwordValue(HKEY key, const wchar_t* valueName, std::uint32_t value) {
  const DWORD data = value;
  const LSTATUS status =
      RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
  if (status != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(status));
  return status == ERROR_SUCCESS;
}

}  // namespace

std::uint32_t ReadSetting(const wchar_t* valueName, std::uint32_t defaultValue) {
  // An existing key is opened for reading only, so one the user may not change still reads.
  bool created = false;
  UniqueRegKey key = OpenOrCreateSettingsKey(KEY_QUERY_VALUE, KEY_QUERY_VALUE | KEY_SET_VALUE, created);
  if (!key) return SETTING_UNAVAILABLE;
  if (created) SetDwordValue(key.get(), valueName, defaultValue);

  // Shorter data fills only the low bytes; the rest stays zero. The type is not looked at.
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (RegQueryValueExW(key.get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
      ERROR_SUCCESS) {
    return defaultValue;
  }
  return data;
}

bool WriteSetting(const wchar_t* valueName, std::uint32_t value) {
  bool created = false;
  UniqueRegKey key = OpenOrCreateSettingsKey(KEY_SET_VALUE, KEY_SET_VALUE, created);
  return key && SetDwordValue(key.get(), valueName, value);
}
