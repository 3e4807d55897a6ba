// Helpers for end-to-end tests: start the real programs and look at their windows from outside.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

constexpr wchar_t kMainWindowClass[] = L"{A3F450AB-AF1C-4d36-BDAA-9B69162F70D0}";
constexpr wchar_t kStatusTitle[] = L"Vemto Kavrix Sound out v1.000h";
constexpr wchar_t kDialogClass[] = L"#32770";

// A process started by a test; terminated on destruction if still running.
struct LaunchedProcess {
  PROCESS_INFORMATION info{};
  LaunchedProcess() = default;
  LaunchedProcess(const LaunchedProcess&) = delete;
  LaunchedProcess& operator=(const LaunchedProcess&) = delete;
  LaunchedProcess(LaunchedProcess&& other) noexcept;
  LaunchedProcess& operator=(LaunchedProcess&& other) noexcept;
  ~LaunchedProcess();
  bool Running() const;
  DWORD Pid() const { return info.dwProcessId; }
  // Waits for the process to end; returns its exit code, or STILL_ACTIVE on timeout.
  DWORD WaitExit(DWORD timeoutMs) const;
  void Terminate();
  // Terminates if running and releases the handles.
  void Close();
};

// Full path of a program built beside the test executable.
std::wstring SiblingProgram(const wchar_t* fileName);

// Starts a program with the given environment additions (NAME=VALUE), stdio on NUL.
LaunchedProcess Launch(const std::wstring& path, const std::vector<std::wstring>& extraEnvironment = {});
LaunchedProcess LaunchOstinel(const std::vector<std::wstring>& extraEnvironment = {});

// Polls every 10 ms until check() holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& check, DWORD timeoutMs);

// Top-level window of process pid with the class and title given (nullptr: any).
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title);
HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title, DWORD timeoutMs);

// Text of a window in another process (WM_GETTEXT with a timeout).
std::wstring WindowTextOf(HWND window);
std::wstring ControlText(HWND dialog, int id);

// Status window of the process, once visible.
HWND WaitForStatusWindow(DWORD pid, DWORD timeoutMs = 15000);

// Ends every running Ostinel.exe of this prefix (found by its main window class).
void EndAllOstinel();

// Removes the program's settings key (both registry views).
void DeleteSettingsKey();
