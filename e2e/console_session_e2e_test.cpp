// What other sessions and processes cannot do, from end to end: take the controller from the copy
// in the console's session, or upset the program with private messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "device/device_loop.h"
#include "device/device_protocol.h"
#include "e2e/device_test.h"
#include "feedback/popup_win_test_support.h"

namespace {

// Private message numbers posted by another process, with any parameters, to every top-level
// window of the program: it keeps answering, its log stays as it was, and it still connects and
// clicks.
TEST_F(DeviceE2e, PrivateMessagesFromAnotherProcessAreHarmless) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  ASSERT_TRUE(WaitForBytes(4, 2000));
  const std::wstring log = Log();
  ASSERT_EQ(log.substr(log.size() - wcslen(kConnectOk)), kConnectOk);

  std::vector<HWND> windows;
  const DWORD pid = app.Pid();
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) windows.push_back(w);
  }
  ASSERT_GE(windows.size(), 5u);  // main, status, settings, indicator, function button
  // 1,000 to each window: half anywhere in the private ranges, half among the first numbers after
  // WM_USER and WM_APP, where a program's own messages lie.
  std::mt19937_64 random(20261208);
  for (HWND w : windows) {
    for (int i = 0; i < 1000; ++i) {
      const UINT message = (i % 2) ? ((random() % 2) ? WM_APP : WM_USER) + static_cast<UINT>(random() % 64)
                                   : WM_USER + static_cast<UINT>(random() % (0xC000 - WM_USER));
      PostMessageW(w, message, static_cast<WPARAM>(random()), static_cast<LPARAM>(random()));
    }
  }
  HWND main = FindProcessWindow(pid, MAIN_WINDOW_CLASS, nullptr);
  for (HWND w : windows) EXPECT_TRUE(SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr));
  EXPECT_TRUE(app.Running());
  EXPECT_EQ(Log(), log);
  // Only the device thread's own requests show the status window or turn the ring.
  EXPECT_FALSE(IsWindowVisible(status));
  HWND indicator = FindIndicatorWindow(pid);
  ASSERT_NE(indicator, nullptr);
  EXPECT_FALSE(IsWindowVisible(indicator));

  // Still clicks: the indicator turns on a right click, the button's command goes out.
  SendPointerMove(300, 260);
  Sleep(100);
  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 2000));
  SimClearReceived(*sim);
  PostMessageW(FindFunctionButton(pid), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  EXPECT_TRUE(WaitForBytes(2, 2000));
  // Still connects.
  SimDisconnect(*sim);
  EXPECT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 2; }, 5000));
  EXPECT_NE(FindProcessWindow(pid, MAIN_WINDOW_CLASS, nullptr), nullptr);
  EXPECT_EQ(main, FindProcessWindow(pid, MAIN_WINDOW_CLASS, nullptr));
}

// Only the copy in the session attached to the console holds the controller. The product asks the
// system on every session notice, so a notice posted by another process changes nothing; the test
// build is told by the test which session has the console.
TEST_F(DeviceE2e, OnlyTheConsoleSessionHoldsTheControllerAndASpoofedNoticeChangesNothing) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  PostMessageW(FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr), WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT,
               1);
  Sleep(500);
  EXPECT_TRUE(SimIsConnected(*sim));
  EXPECT_EQ(SimConnectionCount(*sim), 1);
  EXPECT_EQ(Log().find(L"session"), std::wstring::npos);
  EndAllOstinel();
  ASSERT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 3000));

  DWORD mine = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &mine);
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine));
  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"OstinelFaults.exe", trace.Path));
  app = AttachToStartedOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 2 && SimIsConnected(*sim); }, 5000));
  HWND main = FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr);

  // A switch in progress (no console session) decides nothing: the copy keeps the controller and
  // asks again shortly, so a console that then turns out to be another's is let go without a notice.
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(NO_CONSOLE_SESSION));
  PostMessageW(main, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, mine);
  EXPECT_FALSE(WaitUntil([&] { return !SimIsConnected(*sim); }, 1000));
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine + 1));
  ASSERT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine));
  PostMessageW(main, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, mine);
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 3 && SimIsConnected(*sim); }, 3000));

  // The console goes to another session: the copy lets go at once, says why, and stops trying.
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine + 1));
  PostMessageW(main, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, mine);
  ASSERT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));
  std::wstring log;
  EXPECT_TRUE(WaitForLog(
      [](const std::wstring& l) {
        return EndsWith(l, L"Another user session has the screen: touch controller left to it.\r\n");
      },
      1000, &log))
      << Narrow(log);
  Sleep(3000);
  EXPECT_EQ(SimConnectionCount(*sim), 3);
  EXPECT_FALSE(IsWindowVisible(status));

  // Back on the console: connected again, and the setup is sent again.
  SimClearReceived(*sim);
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine));
  PostMessageW(main, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, mine);
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 4; }, 3000));
  ASSERT_TRUE(WaitForBytes(4, 2000));
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00");
  ForgetConsoleSessionOfTestBuild();

  // The event log: each time left to the other session, taken back, connected again (the switch in
  // progress says nothing by itself).
  const std::vector<DWORD> expected{1, 10, 13, 14, 10, 13, 14, 10};
  std::vector<DWORD> ids;
  EXPECT_TRUE(WaitUntil(
      [&] {
        ids.clear();
        for (const ReportedEvent& e : ReportedEvents(trace.Path)) ids.push_back(e.Id);
        return ids.size() >= expected.size();
      },
      3000));
  EXPECT_EQ(ids, expected);
}

}  // namespace
