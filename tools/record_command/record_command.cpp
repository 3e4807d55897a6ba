// A stand-in for a system program in the installer tests (Wine's own does nothing): appends its
// command line, as UTF-8, to the file named by OSTINEL_RECORD_FILE and exits with the number in
// OSTINEL_RECORD_EXIT (0 without it).
#include <windows.h>

#include <array>
#include <cwchar>
#include <string>

int wmain() {
  std::array<wchar_t, MAX_PATH> file{};
  std::array<wchar_t, 16> exitText{};
  if (GetEnvironmentVariableW(L"OSTINEL_RECORD_FILE", file.data(), static_cast<DWORD>(file.size())) == 0) return 99;
  const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
  std::string utf8(static_cast<std::size_t>(line.size() * 4), '\0');
  const int length = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, nullptr);
  const HANDLE out = CreateFileW(file.data(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 98;
  DWORD written = 0;
  WriteFile(out, utf8.data(), static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(out);
  if (GetEnvironmentVariableW(L"OSTINEL_RECORD_EXIT", exitText.data(), static_cast<DWORD>(exitText.size())) == 0) {
    return 0;
  }
  return static_cast<int>(std::wcstol(exitText.data(), nullptr, 10));
}
