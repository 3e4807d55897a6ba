#include "store/policy_store.h"

#include <windows.h>

#include "win/win_handles.h"

RawPolicies ReadPolicies() {
  RawPolicies policies{};
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) {
    return policies;
  }
  const UniqueRegKey key(opened);
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    // Longer data answers ERROR_MORE_DATA with its type and size, which is all an ignored value needs.
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const LSTATUS status =
        RegQueryValueExW(key.get(), POLICY_VALUES[i].Name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) continue;
    policies[i] = RawPolicyValue{true, type, size, status == ERROR_SUCCESS ? data : 0};
  }
  return policies;
}
