// The link to the controller from end to end: discovery and its retries, connecting, losing and
// getting back the controller, what the event log tells of it, and letting go of it at the end.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <string>
#include <vector>

#include "device/device_protocol.h"
#include "e2e/device_test.h"
#include "feedback/popup_win_test_support.h"
#include "ostinel_version.h"

namespace {

TEST_F(DeviceE2e, NoControllerLogsEachAttemptAndRetriesAboutEvery2200Ms) {
  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);

  // First attempt: banner, the system's text for the failed enumeration, its line, the retry line.
  std::wstring log;
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kRetryLine); }, 5000, &log)) << Narrow(log);
  EXPECT_EQ(log.rfind(kBannerFirstLine, 0), 0u) << Narrow(log);
  const std::size_t error = log.find(L"Error: ");
  ASSERT_NE(error, std::wstring::npos) << Narrow(log);
  EXPECT_TRUE(EndsWith(log, std::wstring(kEnumFailed) + kRetryLine)) << Narrow(log);
  EXPECT_LT(error, log.find(kEnumFailed));

  // The log is cleared at the end of each attempt; the next attempt shows its lines without the banner.
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return l.empty(); }, 3000));
  const ULONGLONG firstClear = GetTickCount64();
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return !l.empty(); }, 3000, &log));
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kRetryLine); }, 1000, &log));
  EXPECT_EQ(log.rfind(L"Error: ", 0), 0u) << Narrow(log);
  EXPECT_EQ(log.find(kBannerFirstLine), std::wstring::npos);
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return l.empty(); }, 3000));
  const ULONGLONG interval = GetTickCount64() - firstClear;
  EXPECT_GE(interval, 2100u);
  EXPECT_LE(interval, 2900u);

  // Failed attempts while never connected leave the status window up.
  EXPECT_TRUE(IsWindowVisible(status));
}

TEST_F(DeviceE2e, PresentControllerConnectsHidesTheStatusAndReceivesOnlyTheSetup) {
  StartController(true);
  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);

  std::wstring log;
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kConnectOk); }, 5000, &log)) << Narrow(log);
  const ULONGLONG connected = GetTickCount64();
  EXPECT_EQ(log.rfind(kBannerFirstLine, 0), 0u) << Narrow(log);
  EXPECT_EQ(log.find(kRetryLine), std::wstring::npos);

  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(status); }, 3000));
  const ULONGLONG hiddenAfter = GetTickCount64() - connected;
  EXPECT_GE(hiddenAfter, 1300u);
  EXPECT_LE(hiddenAfter, 2200u);

  // The stored settings (the defaults here) are the first and only command.
  ASSERT_TRUE(WaitForBytes(4, 2000));
  Sleep(500);
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00");
  EXPECT_EQ(SimConnectionCount(*sim), 1);
}

TEST_F(DeviceE2e, UnpluggedControllerShowsReadFailedAndReplugReconnects) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  ASSERT_TRUE(WaitForBytes(4, 2000));

  // The pipe goes away under the program's held read: broken pipe.
  SimUnplug(*sim);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(status) != FALSE; }, 2000));
  std::wstring log;
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kRetryLine); }, 2000, &log)) << Narrow(log);
  EXPECT_TRUE(EndsWith(log, std::wstring(kConnectOk) + L"Read failed 109\r\n" + kRetryLine)) << Narrow(log);

  // While unplugged discovery fails, and the window stays up.
  ASSERT_TRUE(
      WaitForLog([](const std::wstring& l) { return EndsWith(l, std::wstring(kEnumFailed) + kRetryLine); }, 4000, &log))
      << Narrow(log);
  EXPECT_TRUE(IsWindowVisible(status));

  // Back again: a new connection, shown alone in the cleared log, then hidden. It sends nothing
  // by itself: the setup went out on the first connection.
  ASSERT_TRUE(SimPlug(*sim));
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return l == kConnectOk; }, 4000, &log)) << Narrow(log);
  EXPECT_EQ(SimConnectionCount(*sim), 2);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(status); }, 3000));
  EXPECT_EQ(SimReceivedBytes(*sim).size(), 4u);
}

// The event log, as Wine reports the program's writes: started with the settings in force, the
// controller's path on each connection, the loss with its error, the first failed attempt, and
// the end on WM_CLOSE (written before the program ends).
TEST_F(DeviceE2e, EventLogTellsTheStartEachConnectionTheLossTheAbsenceAndTheEnd) {
  StartController(true);
  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"Ostinel.exe", trace.Path));
  app = AttachToStartedOstinel();
  ASSERT_TRUE(app.Running());
  const auto is = [](DWORD id) { return [id](const ReportedEvent& e) { return e.Id == id; }; };
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, is(10), 8000));
  SimUnplug(*sim);
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, is(12), 8000));
  ASSERT_TRUE(SimPlug(*sim));
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 2; }, 5000));
  PostMessageW(FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitExit(5000), 0u);

  const std::wstring path = SimDevicePath(*sim);
  const std::wstring version = L"" OSTINEL_VERSION_STRING;
  struct Expected {
    DWORD Id;
    WORD Type;
    std::vector<std::wstring> Strings;
  };
  const std::vector<Expected> expected = {
      {1, EVENTLOG_INFORMATION_TYPE, {version, L"15", L"100"}},
      {10, EVENTLOG_INFORMATION_TYPE, {path}},
      {11, EVENTLOG_WARNING_TYPE, {L"109", path}},
      {12, EVENTLOG_WARNING_TYPE, {L"0", L"1"}},
      {10, EVENTLOG_INFORMATION_TYPE, {path}},
      {2, EVENTLOG_INFORMATION_TYPE, {version}},
  };
  const std::vector<ReportedEvent> events = ReportedEvents(trace.Path);
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "event " << i);
    EXPECT_EQ(events[i].Id, expected[i].Id);
    EXPECT_EQ(events[i].Type, expected[i].Type);
    EXPECT_EQ(events[i].Strings, expected[i].Strings);
  }
}

TEST_F(DeviceE2e, DroppedConnectionIsRetriedAndALossSoonAfterConnectKeepsTheWindowUp) {
  StartController(true);
  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim); }, 5000));
  ASSERT_TRUE(WaitForBytes(4, 2000));

  // Dropped well within 1.5 s of "Connect OK!": the pending hide must not hide the retry lines.
  SimDisconnect(*sim);
  const ULONGLONG dropped = GetTickCount64();
  std::wstring log;
  ASSERT_TRUE(WaitForLog(
      [](const std::wstring& l) { return EndsWith(l, L"Read failed 233\r\n" + std::wstring(kRetryLine)); }, 2000, &log))
      << Narrow(log);
  ASSERT_TRUE(WaitUntil([&] { return GetTickCount64() - dropped >= 1900; }, 3000));
  EXPECT_TRUE(IsWindowVisible(status));

  // The driver still lists the controller: the next attempt, 2.2 s on, connects again.
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 2; }, 3000));
  const ULONGLONG reconnectAfter = GetTickCount64() - dropped;
  EXPECT_GE(reconnectAfter, 2100u);
  EXPECT_LE(reconnectAfter, 3000u);
  EXPECT_TRUE(WaitForLog([](const std::wstring& l) { return l == kConnectOk; }, 1000));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(status); }, 3000));
}

// WM_CLOSE (what taskkill without /f and uninstallers send) ends the program with 0: the held
// read is cancelled and the controller and the one-copy mutex let go, so a new start runs normally.
// Logoff never prompts and lets go of the controller.
TEST_F(DeviceE2e, CloseEndsTheProgramWithZeroAndLetsGoOfTheControllerAndTheMutex) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  ASSERT_TRUE(WaitForBytes(4, 2000));
  PostMessageW(FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitExit(5000), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));

  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kConnectOk); }, 5000));
  EXPECT_EQ(SimConnectionCount(*sim), 2);

  HWND main = FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr);
  EXPECT_EQ(SendWithTimeout(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  SendWithTimeout(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));
}

// The controller's interface arrives (plugged in, driver loaded): the program tries at once
// instead of at the end of its 2.2 s retry pause.
TEST_F(DeviceE2e, AnArrivalOfTheControllersInterfaceConnectsAtOnce) {
  StartController(false);
  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kRetryLine); }, 5000));
  HWND main = FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr);
  ASSERT_TRUE(SimPlug(*sim));
  const ULONGLONG plugged = GetTickCount64();
  DEV_BROADCAST_DEVICEINTERFACE_W arrival{};
  arrival.dbcc_size = sizeof(arrival);
  arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  arrival.dbcc_classguid.Data1 = ControllerInterfaceGuid.Data1;
  arrival.dbcc_classguid.Data2 = ControllerInterfaceGuid.Data2;
  arrival.dbcc_classguid.Data3 = ControllerInterfaceGuid.Data3;
  for (int i = 0; i < 8; ++i) arrival.dbcc_classguid.Data4[i] = ControllerInterfaceGuid.Data4[i];
  DWORD_PTR answer = 0;
  ASSERT_NE(SendMessageTimeoutW(main, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival),
                                SMTO_NORMAL, 5000, &answer),
            0);
  // The retry line was up, so the regular attempt is at least 2 s away.
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim); }, 3000));
  EXPECT_LT(GetTickCount64() - plugged, 1500u);
}

}  // namespace
