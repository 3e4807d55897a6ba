// The program as a whole: the status window at start, the hidden main window, one copy only.
#include <gtest/gtest.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "button/button_picture.h"
#include "core/app_state.h"
#include "core/display_scale.h"
#include <algorithm>

#include "e2e/e2e_support.h"
#include "feedback/popup_win_test_support.h"
#include "win/win_handles.h"

namespace {

constexpr wchar_t kBannerFirstLine[] = L"Vemto Kavrix Screen sound out program\r\n";
constexpr wchar_t kTwiceLine[] = L"Error! Couldn't executed this program twice!\r\n";
// The registration for Windows Error Reporting's restart: the argument that marks a restart, and
// none after a reboot (RESTART_NO_REBOOT, 8) or an update (RESTART_NO_PATCH, 4).
constexpr char kRestartRegistered[] = "RegisterApplicationRestart(L\"/restarted\",12)";
constexpr char kRestartWithdrawn[] = "UnregisterApplicationRestart";

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { EndAllOstinel(); }
  void TearDown() override { EndAllOstinel(); }
};

TEST_F(Startup, StatusWindowShowsTheBannerTopmostInTheMiddleOfTheScreen) {
  LaunchedProcess app = LaunchOstinel();
  ASSERT_TRUE(app.Running());
  HWND status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);

  const std::wstring log = ControlText(status, IDC_STATUS_LOG);
  EXPECT_EQ(log.rfind(kBannerFirstLine, 0), 0u) << "log: " << std::string(log.begin(), log.end());
  // Three banner lines, each ending in a line break.
  size_t breaks = 0;
  for (size_t at = log.find(L"\r\n"); at != std::wstring::npos && breaks < 3; at = log.find(L"\r\n", at + 2)) ++breaks;
  EXPECT_EQ(breaks, 3u);

  EXPECT_TRUE(GetWindowLongW(status, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_FALSE(GetWindowLongW(status, GWL_STYLE) & WS_SYSMENU);
  RECT r{};
  GetWindowRect(status, &r);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 215) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 163) / 2);
}

TEST_F(Startup, HiddenMainWindowIsFoundByClassName) {
  LaunchedProcess app = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(app.Pid()), nullptr);
  HWND main = FindWindowW(MAIN_WINDOW_CLASS, nullptr);
  ASSERT_NE(main, nullptr);
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  EXPECT_EQ(pid, app.Pid());
  EXPECT_FALSE(IsWindowVisible(main));
  // A real top-level window, not a message-only one.
  EXPECT_EQ(GetAncestor(main, GA_PARENT), GetDesktopWindow());
  EXPECT_TRUE(GetWindowLongW(main, GWL_STYLE) & WS_OVERLAPPEDWINDOW);
}

TEST_F(Startup, SecondCopyReportsAndEndsWithMinusOneOnlyByItsButton) {
  LaunchedProcess first = LaunchOstinel();
  HWND firstStatus = WaitForStatusWindow(first.Pid());
  ASSERT_NE(firstStatus, nullptr);

  LaunchedProcess second = LaunchOstinel();
  HWND secondStatus = WaitForStatusWindow(second.Pid());
  ASSERT_NE(secondStatus, nullptr);
  std::wstring log;
  ASSERT_TRUE(WaitUntil([&] { return (log = ControlText(secondStatus, IDC_STATUS_LOG)).find(kTwiceLine) != std::wstring::npos; }, 5000));
  EXPECT_EQ(log.rfind(kBannerFirstLine, 0), 0u);
  EXPECT_GT(log.find(kTwiceLine), log.find(kBannerFirstLine));
  EXPECT_EQ(ControlText(secondStatus, IDC_STATUS_BUTTON), L"Exit");

  // Keys have no dialog role: Enter, Esc and Tab sent to the exit button do not end the program.
  HWND button = GetDlgItem(secondStatus, IDC_STATUS_BUTTON);
  for (WPARAM key : {VK_RETURN, VK_ESCAPE, VK_TAB}) {
    PostMessageW(button, WM_KEYDOWN, key, 1);
    PostMessageW(button, WM_KEYUP, key, 0xC0000001);
  }
  EXPECT_EQ(second.WaitExit(1000), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(IsWindowVisible(secondStatus));

  // The first copy is undisturbed: running, answering, its log free of the second copy's error.
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(ControlText(firstStatus, IDC_STATUS_LOG).find(kTwiceLine), std::wstring::npos);
  EXPECT_NE(FindProcessWindow(first.Pid(), MAIN_WINDOW_CLASS, nullptr), nullptr);

  // The button is the way out, with exit value -1.
  PostMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(second.WaitExit(5000), static_cast<DWORD>(-1));
  EXPECT_TRUE(first.Running());
}

// Wine restarts nothing: the registration is seen at the calls the program makes. Registered once
// start-up has succeeded; withdrawn while the session ends (a logon starts the program again, and
// Windows' own restart would be a second copy), made again when the end is called off.
TEST_F(Startup, RestartAfterACrashIsRegisteredOnlyWhileTheProgramRunsAndTheSessionGoesOn) {
  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"Ostinel.exe", trace.Path));
  LaunchedProcess app = AttachToStartedOstinel();
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 1; }, 10000));
  using Calls = std::vector<std::string>;
  EXPECT_TRUE(WaitUntil([&] { return RestartCalls(trace.Path) == Calls{kRestartRegistered}; }, 5000));
  HWND main = FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr);
  ASSERT_NE(main, nullptr);

  EXPECT_EQ(SendWithTimeout(main, WM_QUERYENDSESSION), TRUE);
  EXPECT_EQ(RestartCalls(trace.Path), (Calls{kRestartRegistered, kRestartWithdrawn}));
  SendWithTimeout(main, WM_ENDSESSION, FALSE);  // another program called the end off
  EXPECT_EQ(RestartCalls(trace.Path), (Calls{kRestartRegistered, kRestartWithdrawn, kRestartRegistered}));
  // Ended without asking first (a forced logoff): withdrawn all the same.
  SendWithTimeout(main, WM_ENDSESSION, TRUE);
  EXPECT_EQ(RestartCalls(trace.Path),
            (Calls{kRestartRegistered, kRestartWithdrawn, kRestartRegistered, kRestartWithdrawn}));
}

// Started by that registration: the start event is the restart's, with the settings in force, and
// the restarted copy is registered again.
TEST_F(Startup, ARestartedCopySaysSoInItsStartEventAndIsRegisteredAgain) {
  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"Ostinel.exe", trace.Path, {}, L"/restarted"));
  LaunchedProcess app = AttachToStartedOstinel();
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 6; }, 10000, &events));
  const auto restarted = std::find_if(events.begin(), events.end(), [](const ReportedEvent& e) { return e.Id == 6; });
  EXPECT_EQ(restarted->Type, EVENTLOG_INFORMATION_TYPE);
  ASSERT_EQ(restarted->Strings.size(), 3u);
  EXPECT_EQ(restarted->Strings[1], L"15");
  EXPECT_EQ(restarted->Strings[2], L"100");
  EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](const ReportedEvent& e) { return e.Id == 1; }));
  EXPECT_TRUE(WaitUntil([&] { return RestartCalls(trace.Path) == std::vector<std::string>{kRestartRegistered}; }, 5000));
}

TEST_F(Startup, CloseButtonOnlyHidesTheStatusWindowOfARunningCopy) {
  LaunchedProcess app = LaunchOstinel();
  HWND status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  PostMessageW(GetDlgItem(status, IDC_STATUS_BUTTON), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(status); }, 3000));
  EXPECT_EQ(app.WaitExit(500), static_cast<DWORD>(STILL_ACTIVE));
}

}  // namespace

namespace {

struct InjectedFault {
  const wchar_t* step;
  const wchar_t* line;
  const wchar_t* reportedStep;  // as the event log names it
};

class StartupFailure : public ::testing::TestWithParam<InjectedFault> {
 protected:
  void SetUp() override { EndAllOstinel(); }
  void TearDown() override { EndAllOstinel(); }
};

// Each start-up failure after the status window exists: its line after the banner, the exit
// button, and nothing else running until the user presses it.
TEST_P(StartupFailure, ShowsItsLineAndEndsOnlyByTheExitButton) {
  const InjectedFault fault = GetParam();
  const TraceFile trace;
  ASSERT_TRUE(
      LaunchTraced(L"OstinelFaults.exe", trace.Path, {std::wstring(L"OSTINEL_INJECT_FAULT=") + fault.step}));
  LaunchedProcess app = AttachToStartedOstinel();
  HWND status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  std::wstring log;
  ASSERT_TRUE(WaitUntil([&] { return (log = ControlText(status, IDC_STATUS_LOG)).find(fault.line) != std::wstring::npos; }, 5000))
      << std::string(log.begin(), log.end());
  EXPECT_EQ(log.rfind(kBannerFirstLine, 0), 0u);
  // The log ends with the failure line: the device thread never started, so nothing follows.
  EXPECT_EQ(log.size() - log.rfind(fault.line), wcslen(fault.line));
  EXPECT_EQ(ControlText(status, IDC_STATUS_BUTTON), L"Exit");
  EXPECT_EQ(app.WaitExit(800), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(ControlText(status, IDC_STATUS_LOG), log);
  PostMessageW(GetDlgItem(status, IDC_STATUS_BUTTON), BM_CLICK, 0, 0);
  EXPECT_EQ(app.WaitExit(5000), static_cast<DWORD>(-1));

  // The event log names the step that failed, then the end; a failed thread comes after the start.
  const std::vector<ReportedEvent> events = ReportedEvents(trace.Path);
  std::vector<DWORD> ids;
  for (const ReportedEvent& e : events) ids.push_back(e.Id);
  const bool threadFailed = std::wstring(fault.step) == L"thread";
  const std::vector<DWORD> expected = threadFailed ? std::vector<DWORD>{1, 3, 2} : std::vector<DWORD>{3, 2};
  EXPECT_EQ(ids, expected);
  const auto failed = std::find_if(events.begin(), events.end(), [](const ReportedEvent& e) { return e.Id == 3; });
  ASSERT_NE(failed, events.end());
  EXPECT_EQ(failed->Type, EVENTLOG_ERROR_TYPE);
  ASSERT_EQ(failed->Strings.size(), 2u);
  EXPECT_EQ(failed->Strings[0], fault.reportedStep);
  if (threadFailed) {
    EXPECT_EQ(failed->Strings[1], L"8");
  }
  if (std::wstring(fault.step) == L"mutexdenied") {
    EXPECT_EQ(failed->Strings[1], L"5");
  }
  // A failed start is never restarted by Windows.
  EXPECT_EQ(RestartCalls(trace.Path), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    InjectedFaults, StartupFailure,
    ::testing::Values(InjectedFault{L"bitmap", L"Bit Map file open error!\r\n", L"bitmaps"},
                      InjectedFault{L"dialog", L"Dialog Open Error!\r\n", L"windows"},
                      InjectedFault{L"thread", L"Error! Couldn't create thread - error code : 8\r\n", L"device thread"},
                      // A mutex this copy may not open belongs to a copy running with other rights.
                      InjectedFault{L"mutexdenied", kTwiceLine, L"single instance"}));

TEST(StartupWithoutMainWindow, EndsAtOnceWithZeroAndShowsNothing) {
  EndAllOstinel();
  LaunchedProcess app = Launch(SiblingProgram(L"OstinelFaults.exe"), {L"OSTINEL_INJECT_FAULT=mainwindow"});
  EXPECT_EQ(app.WaitExit(10000), 0u);
  EXPECT_EQ(FindProcessWindow(app.Pid(), nullptr, nullptr), nullptr);

  // The event log still hears of it before the program ends.
  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"OstinelFaults.exe", trace.Path, {L"OSTINEL_INJECT_FAULT=mainwindow"}));
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 2; }, 10000, &events));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Id, 3u);
  EXPECT_EQ(events[0].Strings.at(0), L"main window");
}

// A copy started in session 0 (as SYSTEM; the test build is told so, Wine having session 1 only)
// ends at once with 1 and no window, and the event log says why and who started it.
TEST(StartupWithoutMainWindow, InSessionZeroEndsAtOnceWithOneAndSaysWhy) {
  EndAllOstinel();
  LaunchedProcess app = Launch(SiblingProgram(L"OstinelFaults.exe"), {L"OSTINEL_INJECT_FAULT=session0"});
  EXPECT_EQ(app.WaitExit(10000), 1u);
  EXPECT_EQ(FindProcessWindow(app.Pid(), nullptr, nullptr), nullptr);

  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"OstinelFaults.exe", trace.Path, {L"OSTINEL_INJECT_FAULT=session0"}));
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 2; }, 10000, &events));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Id, 5u);
  EXPECT_EQ(events[0].Type, EVENTLOG_WARNING_TYPE);
  ASSERT_EQ(events[0].Strings.size(), 1u);
  EXPECT_NE(events[0].Strings[0], L"");
}

// The test build's main window holds its thread for wParam ms on this message, titled "held"
// meanwhile, and answers the hook's latest point (PointerWord) on the next.

// A pointer move made with SendInput; the time SendInput took, in ms. Under Wine SendInput leaves
// the X server's pointer behind, and a window shown or hidden there reports a move to that
// pointer's place: SetCursorPos moves both first.
double TimedMove(POINT at) {
  SetCursorPos(at.x, at.y);
  INPUT move = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at);
  LARGE_INTEGER frequency{}, before{}, after{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&before);
  SendInput(1, &move, sizeof(INPUT));
  QueryPerformanceCounter(&after);
  return static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The low-level hook has a thread of its own: while the program's window thread is held for 1 s,
// as a removal hand-over or a drawing at a new scale holds it, the desktop's moves are not held up
// and the hook still records them. Under Wine, as under Windows, SendInput returns only once every
// low-level hook has taken the move (measured: 880 to 940 ms with the hook on a thread held for
// 1 s), so a hook on the window thread would keep this move until the hold ends.
TEST(StartupTestBuild, MovesPassWhileTheWindowThreadIsHeldAndTheHookRecordsThem) {
  EndAllOstinel();
  LaunchedProcess app = Launch(SiblingProgram(L"OstinelFaults.exe"));
  ASSERT_NE(WaitForStatusWindow(app.Pid()), nullptr);
  HWND main = FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr);
  ASSERT_NE(main, nullptr);
  const auto hookSaw = [&](POINT at) {
    return static_cast<std::uint64_t>(SendWithTimeout(main, WM_TEST_HOOK_POINT)) == PointerWord(at.x, at.y);
  };
  // Read from the window's record, not through its thread.
  const auto held = [&] {
    wchar_t title[8]{};
    GetWindowTextW(main, title, 8);
    return std::wstring(title) == L"held";
  };
  // A window shown under the X server's pointer may still report a move there: moved until seen.
  ASSERT_TRUE(WaitUntil(
      [&] {
        TimedMove(POINT{300, 200});
        return hookSaw(POINT{300, 200});
      },
      5000));

  ASSERT_TRUE(PostMessageW(main, WM_TEST_HOLD_UI_THREAD, 1000, 0));
  ASSERT_TRUE(WaitUntil(held, 3000));
  const double ms = TimedMove(POINT{420, 330});
  const bool stillHeld = held();
  std::printf("SendInput while the window thread is held: %.1f ms\n", ms);
  RecordProperty("SendInputWhileHeldMicroseconds", static_cast<int>(ms * 1000.0));
  EXPECT_TRUE(stillHeld) << "SendInput returned after " << ms << " ms, after the hold";
  EXPECT_TRUE(WaitUntil([&] { return hookSaw(POINT{420, 330}); }, 5000));
  TimedMove(POINT{510, 410});
  EXPECT_TRUE(WaitUntil([&] { return hookSaw(POINT{510, 410}); }, 5000));
  EndAllOstinel();
}

TEST(StartupTestBuild, WithoutAnInjectedFaultStartsLikeTheProduct) {
  EndAllOstinel();
  LaunchedProcess app = Launch(SiblingProgram(L"OstinelFaults.exe"));
  HWND status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return ControlText(status, IDC_STATUS_LOG).find(L"auto retry") != std::wstring::npos; }, 8000));
  EXPECT_EQ(ControlText(status, IDC_STATUS_BUTTON), L"Close");
  EndAllOstinel();
}

}  // namespace

namespace {

// What a screen reader in another process learns of the window through Active Accessibility.
void ExpectScreenReaderSees(HWND window, const std::wstring& name, const std::wstring& value) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IAccessible* object = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&object)),
            S_OK);
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  EXPECT_EQ(object->get_accName(self, &text), S_OK);
  EXPECT_EQ(std::wstring(text ? text : L""), name);
  SysFreeString(text);
  text = nullptr;
  EXPECT_EQ(object->get_accValue(self, &text), S_OK);
  EXPECT_EQ(std::wstring(text ? text : L""), value);
  SysFreeString(text);
  VARIANT role{};
  EXPECT_EQ(object->get_accRole(self, &role), S_OK);
  EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
  object->Release();
  CoUninitialize();
}

}  // namespace

// Wine gives each process the scale of the prefix's LogPixels at its start (this test keeps its
// own): the function button at 100, 125, 150 and 200 %.
TEST_F(Startup, FunctionButtonIsDrawnForTheScaleOfTheScreen) {
  ASSERT_TRUE(StoreSetting(L"ButtonSetup", 0x1B));  // the function button method
  for (const DWORD dpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(dpi);
    const PrefixAtDpi scale(dpi);
    LaunchedProcess app = LaunchOstinel();
    ASSERT_NE(WaitForStatusWindow(app.Pid()), nullptr);
    const int side = ScaleToDpi(50, dpi);
    HWND button = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (button = FindFunctionButton(app.Pid(), side)) != nullptr; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(button) != FALSE; }, 3000));
    RECT r{};
    GetWindowRect(button, &r);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) - ScaleToDpi(60, dpi));
    EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) - ScaleToDpi(120, dpi));
    EXPECT_EQ(WindowTextOf(button), L"Right-click function button");  // its name for screen readers
    if (dpi == 96) ExpectScreenReaderSees(button, L"Right-click function button", L"Not armed");
    // The idle picture drawn for that side (at 50 pixels the same as the bitmap resource).
    const std::vector<std::uint8_t> rgb = DrawButtonPicture(ButtonImage::Idle, side);
    std::vector<std::uint32_t> reference;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
      reference.push_back(static_cast<std::uint32_t>(rgb[i]) << 16 | static_cast<std::uint32_t>(rgb[i + 1]) << 8 |
                          rgb[i + 2]);
    }
    EXPECT_TRUE(WaitUntil([&] { return CaptureScreen(r.left, r.top, side, side) == reference; }, 10000));
    EndAllOstinel();
  }
  DeleteSettingsKey();
}

namespace {

// Whether the process has loaded a library of this name.
bool HasLoaded(DWORD pid, const wchar_t* name) {
  const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  if (!snapshot) return false;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry)) {
    if (CompareStringOrdinal(entry.szModule, -1, name, -1, TRUE) == CSTR_EQUAL) return true;
  }
  return false;
}

}  // namespace

// A screen reader asking the button or the ring for any object but their client areas (the
// frame, the caret, ...) gets the system's: the program answers 0 and loads no accessibility
// library for it. The client area it does answer loads it, so the check can see it.
TEST_F(Startup, AccessibilityIsLoadedOnlyForTheObjectsTheProgramAnswers) {
  ASSERT_TRUE(StoreSetting(L"ButtonSetup", 0x1B));  // the function button method
  LaunchedProcess app = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(app.Pid()), nullptr);
  HWND button = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (button = FindFunctionButton(app.Pid())) != nullptr; }, 5000));
  HWND ring = FindIndicatorWindow(app.Pid());
  ASSERT_NE(ring, nullptr);
  for (HWND window : {button, ring}) {
    for (LONG object : {OBJID_WINDOW, OBJID_CARET, OBJID_TITLEBAR, OBJID_NATIVEOM}) {
      DWORD_PTR result = 1;
      ASSERT_NE(SendMessageTimeoutW(window, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<DWORD>(object)),
                                    SMTO_BLOCK, 5000, &result),
                0);
      EXPECT_EQ(result, 0u) << object;
    }
  }
  EXPECT_FALSE(HasLoaded(app.Pid(), L"oleacc.dll"));
  ExpectScreenReaderSees(button, L"Right-click function button", L"Not armed");
  EXPECT_TRUE(HasLoaded(app.Pid(), L"oleacc.dll"));
  DeleteSettingsKey();
}
