// This process's user, read from its token (start-up's session check, the support section's
// access list).
#pragma once

#include <windows.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "win/win_handles.h"

// The token's TOKEN_USER record; empty when the token would not tell.
inline std::vector<BYTE> ProcessTokenUser() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return {};
  const UniqueHandle token(opened);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::vector<BYTE> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  return buffer;
}

// A SID as SDDL text ("S-1-5-21-..."); empty when it cannot be converted.
inline std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"";
  std::wstring converted(text);
  LocalFree(text);
  return converted;
}
