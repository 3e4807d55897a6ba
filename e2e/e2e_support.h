// Helpers for end-to-end tests: start the real programs and look at their windows from outside.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "res/resource_ids.h"

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

// Starts a program with the given environment additions (NAME=VALUE) and command-line arguments.
LaunchedProcess Launch(const std::wstring& path, const std::vector<std::wstring>& extraEnvironment = {},
                       const std::wstring& arguments = L"");
LaunchedProcess LaunchOstinel(const std::vector<std::wstring>& extraEnvironment = {});

// Polls every 10 ms until check() holds or timeoutMs passes.
bool WaitUntil(const std::function<bool()>& check, DWORD timeoutMs);

// Top-level window of process pid with the class and title given (nullptr: any).
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title);
HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title, DWORD timeoutMs);

// Text of a window in another process (WM_GETTEXT with a timeout).
std::wstring WindowTextOf(HWND window);
std::wstring ControlText(HWND dialog, int id);

// SendMessage to a window of another process, with a 5 s timeout; the result, or 0.
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// What another process does to open the settings: WM_USER+1 posted to the main window. Waits until
// the dialog is visible and the reload has run (when the dialog was up already, visibility says
// nothing; a sent message is taken before the posted one, so after two round trips the post ran).
bool OpenSettingsDialog(HWND mainWindow, HWND dialog);

// Status window of the process, once visible.
HWND WaitForStatusWindow(DWORD pid, DWORD timeoutMs = 15000);

// Ends every running Ostinel.exe of this prefix (found by its main window class).
void EndAllOstinel();

// Removes the program's settings key (both registry views).
void DeleteSettingsKey();

// A value of the program's settings key in the 32-bit view, where the program keeps it; nothing
// when it is missing or not a REG_DWORD.
std::optional<DWORD> ReadStoredSetting(const wchar_t* name);
// Stores a REG_DWORD value in the program's settings key (32-bit view), creating the key.
bool StoreSetting(const wchar_t* name, DWORD value);

// The policy key (HKLM\SOFTWARE\Policies\Vemto\Ostinel, 64-bit view, where Group Policy writes):
// a value of any type written there (the key made when missing), and the key removed.
bool SetPolicy(const wchar_t* name, DWORD value);
bool SetPolicyRaw(const wchar_t* name, DWORD type, const std::vector<BYTE>& data);
void DeletePolicyKey();

// The test build (OstinelFaults.exe) asks here which session has the console, as Wine has only one
// session: HKCU\Software\Ostinel test, value ConsoleSession. Forget removes the key.
bool SetConsoleSessionOfTestBuild(DWORD session);
void ForgetConsoleSessionOfTestBuild();

// The first dialog-class window of process pid that passes test.
HWND FindProgramDialog(DWORD pid, const std::function<bool(HWND)>& test);
// The program's windows, told apart by their shape: the settings dialog has the hold-time slider,
// the indicator is the square layered popup (127 pixels at 100 %), the function button the 50-pixel
// plain one.
HWND FindSettingsDialog(DWORD pid);
HWND FindIndicatorWindow(DWORD pid);
HWND FindFunctionButton(DWORD pid, int side = 50);  // side: the button's at the program's scale

// A pointer move to screen pixel (x, y) made with SendInput.
void SendPointerMove(int x, int y);

// Starts a program of this build in the given Unix locale (LC_ALL), which Wine turns into the
// process's system locale. It goes through /usr/bin/env, so Wine gives back no process handle: find
// the new process by its windows. False when the start failed.
bool LaunchInLocale(const wchar_t* locale, const wchar_t* fileName);

// Wine's report of the program's event log writes. Under Wine, ReportEventW stores nothing; with
// WINEDEBUG=+eventlog it prints each insertion string on the eventlog channel, after a line with
// the event's type and ID (fixme:advapi). A program started with LaunchTraced has that output in a
// Linux file of its own.
struct ReportedEvent {
  DWORD Id = 0;
  WORD Type = 0;  // EVENTLOG_ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE
  std::vector<std::wstring> Strings;
};

// Starts a program of this build with the environment additions, its Wine debug output for the
// event log going to the Linux file traceFile (emptied first). Like LaunchInLocale it goes through
// a Linux shell, so there is no process handle: AttachToStartedOstinel finds the process.
bool LaunchTraced(const wchar_t* fileName, const std::wstring& traceFile,
                  const std::vector<std::wstring>& extraEnvironment = {}, const std::wstring& arguments = L"");
// A trace file of this test process: a unique Linux path, removed when the holder goes.
struct TraceFile {
  std::wstring Path;
  TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  ~TraceFile();
};
// The process of the (only) running copy of the program, once its main window exists.
LaunchedProcess AttachToStartedOstinel(DWORD timeoutMs = 15000);
// The events reported so far, in order.
std::vector<ReportedEvent> ReportedEvents(const std::wstring& traceFile);
// The program's calls to the restart registration so far, as Wine's stubs report them (Wine
// restarts nothing): RegisterApplicationRestart(L"command line",flags), UnregisterApplicationRestart.
std::vector<std::string> RestartCalls(const std::wstring& traceFile);
// Waits until the trace holds an event that passes test; the events then.
bool WaitForReportedEvent(const std::wstring& traceFile, const std::function<bool(const ReportedEvent&)>& test,
                          DWORD timeoutMs, std::vector<ReportedEvent>* events = nullptr);

// Programs started while this lives see the display scale dpi (96 = 100 %, 144 = 150 %): it sets
// LogPixels in HKCU\Control Panel\Desktop and HKCC\Software\Fonts of this test program's own
// prefix (a private copy of the template), which Wine reads when a process starts; the test
// program itself keeps its scale. The old values come back when it goes.
class PrefixAtDpi {
 public:
  explicit PrefixAtDpi(DWORD dpi);
  ~PrefixAtDpi();
  PrefixAtDpi(const PrefixAtDpi&) = delete;
  PrefixAtDpi& operator=(const PrefixAtDpi&) = delete;

 private:
  std::optional<DWORD> desktop_, fonts_;
};

// UTF-8 form of wide text, for test messages.
std::string Utf8(const std::wstring& text);
