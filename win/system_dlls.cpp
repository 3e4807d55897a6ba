#include "win/system_dlls.h"

#include <windows.h>

void LoadDllsFromSystemOnly() {
  // Looked up: a Windows 7 without the update that added it has none, and the headers for
  // Windows 7 do not declare it.
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const auto set = reinterpret_cast<SetDirectories>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
