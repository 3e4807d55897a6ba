// The device link from end to end: the real program against a simulated touch controller that its
// unmodified Setup API discovery finds and its CreateFileW opens.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>
#include <oleacc.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "button/button_picture.h"
#include "core/app_state.h"
#include "device/device_loop.h"
#include "core/display_scale.h"
#include "device/device_protocol.h"
#include "e2e/e2e_support.h"
#include "e2e/program_test.h"
#include "feedback/indicator_rotation.h"
#include "feedback/indicator_source.h"
#include "feedback/popup_win_test_support.h"
#include "ostinel_version.h"
#include "tools/sim_controller/sim_controller.h"

namespace {

constexpr int kStatusLog = 1001;
constexpr wchar_t kBannerFirstLine[] = L"Vemto Kavrix Screen sound out program\r\n";
constexpr wchar_t kEnumFailed[] = L"SetupDiEnumDeviceInterfaces failed.\r\n";
constexpr wchar_t kConnectOk[] = L"Connect OK!\r\n";
constexpr wchar_t kRetryLine[] =
    L"Could not connected to Vemto Kavrix Device\r\nThis program will be auto retry again later!";

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text)
    out += (c == L'\r') ? std::string("\\r") : (c == L'\n') ? std::string("\\n") : std::string(1, static_cast<char>(c));
  return out;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The user's application: a window of this process in front, magenta, counting the left presses
// it gets. This thread dispatches its messages while a test waits with PumpUntil.
constexpr COLORREF kUserColour = RGB(255, 0, 255);  // not a colour of the ring
std::atomic<int> UserPresses{0};

LRESULT CALLBACK UserWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN) ++UserPresses;
  return DefWindowProcW(window, message, wParam, lParam);
}

struct UserWindow {
  UniqueGdiObject brush{CreateSolidBrush(kUserColour)};
  ATOM atom = 0;
  HWND window = nullptr;
  explicit UserWindow(RECT place) {
    WNDCLASSW userClass{};
    userClass.lpfnWndProc = UserWindowProc;
    userClass.hInstance = GetModuleHandleW(nullptr);
    userClass.hbrBackground = static_cast<HBRUSH>(brush.get());
    userClass.lpszClassName = L"OstinelTestUserApplication";
    atom = RegisterClassW(&userClass);
    window = CreateWindowExW(0, userClass.lpszClassName, L"user's application", WS_POPUP, place.left, place.top,
                             place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                             userClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
  }
  ~UserWindow() {
    if (window) DestroyWindow(window);
    if (atom) UnregisterClassW(L"OstinelTestUserApplication", GetModuleHandleW(nullptr));
  }
  UserWindow(const UserWindow&) = delete;
  UserWindow& operator=(const UserWindow&) = delete;
};

// Real input, as a touch makes it: the pointer goes to the point, then the presses follow. Under
// Wine SendInput leaves the X server's pointer behind, and a cursor read falls back to that
// pointer 100 ms after the last input; a real move moves the one pointer, so this moves both.
void PointerTo(POINT at) {
  SetCursorPos(at.x, at.y);
  INPUT move = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at);
  SendInput(1, &move, sizeof(INPUT));
}

void Press(DWORD flags) {
  INPUT press = MouseInput(flags);
  SendInput(1, &press, sizeof(INPUT));
}

void Tap(POINT at, bool right = false) {
  PointerTo(at);
  Press(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
  Press(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}

// The ring's source at a scale, made without the program's window code: bitmap 150 from the
// program's resources at 100 %, the ring drawn from its description at any other side.
std::vector<std::uint32_t> RingSource(int side) {
  if (side != INDICATOR_SIDE) return DrawIndicatorSource(side);
  std::vector<std::uint32_t> pixels;
  HMODULE program = LoadLibraryExW(SiblingProgram(L"Ostinel.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!program) return pixels;
  if (HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(program, MAKEINTRESOURCEW(150), IMAGE_BITMAP, 0, 0,
                                                       LR_CREATEDIBSECTION))) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels.resize(static_cast<std::size_t>(side) * side);
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, bitmap, 0, static_cast<UINT>(side), pixels.data(), &info, DIB_RGB_COLORS) != side) {
      pixels.clear();
    }
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
  }
  FreeLibrary(program);
  return pixels;
}

// What a ring window of this side shows at each of the 24 steps: the portable rotation of the
// source, centred in the window, its black showing the window beneath.
std::vector<std::vector<std::uint32_t>> RingFrames(int side, std::uint32_t beneath) {
  std::vector<std::vector<std::uint32_t>> frames;
  const std::vector<std::uint32_t> source = RingSource(side);
  if (source.size() != static_cast<std::size_t>(side) * side) return frames;
  for (int step = 0; step < 24; ++step) {
    const auto frame = IndicatorFrameSize(static_cast<float>(step * 15), side);
    if (!frame) return {};
    std::vector<std::uint32_t> buffer(IndicatorFramePixels(*frame), 0);
    if (!RenderIndicatorFrame(*frame, source, buffer)) return {};
    const int offsetX = IndicatorFrameOffset(frame->width, side);
    const int offsetY = IndicatorFrameOffset(frame->height, side);
    std::vector<std::uint32_t> shown(static_cast<std::size_t>(side) * side);
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const int row = frame->height - 1 - (y - offsetY);  // the buffer is bottom-up
        const std::uint32_t p = buffer[static_cast<std::size_t>(row) * frame->width + (x - offsetX)] & 0x00FFFFFFu;
        shown[static_cast<std::size_t>(y) * side + x] = p == 0 ? beneath : p;
      }
    }
    frames.push_back(std::move(shown));
  }
  return frames;
}

class DeviceE2e : public ProgramTest {
 protected:
  void TearDown() override {
    ProgramTest::TearDown();
    sim.reset();
  }

  // A fresh pipe name per test: an instance of a previous test's pipe may linger in the server.
  void StartController(bool plugged, bool idleReads = false, bool holdCommands = false) {
    static int serial = 0;
    SimOptions options;
    options.PipeName = L"ostinel-e2e-" + std::to_wstring(++serial);
    options.Plugged = plugged;
    options.IdleReads = idleReads;
    options.HoldCommands = holdCommands;
    options.IdleIntervalMs = 50;
    std::uint32_t error = 0;
    sim = StartSim(options, &error);
    ASSERT_TRUE(sim) << "simulated controller did not start: " << error;
  }

  std::wstring Log() const { return ControlText(status, kStatusLog); }

  // Waits until the log satisfies check; returns the log then.
  bool WaitForLog(const std::function<bool(const std::wstring&)>& check, DWORD timeoutMs,
                  std::wstring* seen = nullptr) {
    std::wstring log;
    const bool ok = WaitUntil([&] { return check(log = Log()); }, timeoutMs);
    if (seen) *seen = log;
    return ok;
  }

  bool WaitForBytes(std::size_t count, DWORD timeoutMs) {
    return WaitUntil([&] { return SimReceivedBytes(*sim).size() >= count; }, timeoutMs);
  }

  // Starts the program and waits for its first connection and the status window's hide.
  void LaunchConnected() {
    app = LaunchOstinel();
    status = WaitForStatusWindow(app.Pid());
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim); }, 5000));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(status); }, 4000));
  }

  // Ostinel with the function button, connected to a controller that completes idle reads; the
  // setup command already taken, the button shown.
  void LaunchWithFunctionButton(HWND* button) {
    StoreSetting(L"ButtonSetup", SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH | SETUP_FUNCTION_BUTTON);
    StartController(true, true);
    ASSERT_NO_FATAL_FAILURE(LaunchConnected());
    ASSERT_TRUE(WaitForBytes(4, 2000));
    SimClearReceived(*sim);
    *button = FindFunctionButton(app.Pid());
    ASSERT_NE(*button, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(*button) != FALSE; }, 2000));
  }

  UniqueSim sim;
  LaunchedProcess app;
  HWND status = nullptr;
};

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
  PostMessageW(FindProcessWindow(app.Pid(), kMainWindowClass, nullptr), WM_CLOSE, 0, 0);
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

TEST_F(DeviceE2e, RightClickEventsShowTheIndicatorAtThePointerOtherBytesDoNothing) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  HWND indicator = FindIndicatorWindow(app.Pid());
  ASSERT_NE(indicator, nullptr);
  SendPointerMove(300, 260);
  Sleep(200);

  // No event, an unknown bit and a left click (click sound only) leave the indicator hidden.
  for (std::uint8_t byte : {0x00, 0x04, 0x01, 0x03}) {
    ASSERT_TRUE(SimSendEvent(*sim, byte));
    EXPECT_FALSE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 300)) << "byte " << int{byte};
  }

  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 1000));
  RECT r{};
  GetWindowRect(indicator, &r);
  EXPECT_EQ(r.left, 300 - 63);
  EXPECT_EQ(r.top, 260 - 63);
  // One turn of 24 ticks of 40 ms, then hidden again.
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(indicator); }, 2500));
  EXPECT_EQ(SimReceivedBytes(*sim).size(), 4u);  // events send nothing back
}

TEST_F(DeviceE2e, ButtonArmedWhileUnpluggedIsSentAfterTheNextConnect) {
  StartController(false);
  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kRetryLine); }, 5000));
  HWND button = FindFunctionButton(app.Pid());
  ASSERT_NE(button, nullptr);

  PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  PostMessageW(button, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  Sleep(200);
  ASSERT_TRUE(SimPlug(*sim));
  ASSERT_TRUE(WaitForBytes(6, 4000));
  Sleep(300);
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00 01 01");
}

TEST_F(DeviceE2e, RightClicksOnTheButtonArmThenDisarm) {
  StartController(true, true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  ASSERT_TRUE(WaitForBytes(4, 4000));
  HWND button = FindFunctionButton(app.Pid());
  ASSERT_NE(button, nullptr);
  PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  ASSERT_TRUE(WaitForBytes(6, 3000));
  PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  ASSERT_TRUE(WaitForBytes(8, 3000));
  Sleep(300);
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00 01 01 01 00");
}

// A command reaches the controller at once, with a driver that holds its reads until the next
// touch as with one that completes idle reads: the held read is woken, stays outstanding, and the
// next touch is still read (once) and acted on.
TEST_F(DeviceE2e, CommandsReachTheControllerDuringAHeldReadAndOnceOnlyDisarmTellsIt) {
  StoreSetting(L"ButtonSetup", SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH | SETUP_FUNCTION_BUTTON | SETUP_ONCE_ONLY);
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  HWND button = FindFunctionButton(app.Pid());
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(WaitForBytes(4, 2000));
  ASSERT_EQ(SimHex(SimReceivedBytes(*sim)), "00 00 64 00");  // the stored word has no hold-still bit
  SimClearReceived(*sim);

  for (bool idleReads : {false, true}) {
    SimSetIdle(*sim, idleReads, 50);
    PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    ASSERT_TRUE(WaitForBytes(2, 500)) << "idle reads " << idleReads;  // no touch needed
    EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "01 01");
    // The touch after the arming is the right click that disarms it.
    ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
    ASSERT_TRUE(WaitForBytes(4, 1000)) << "idle reads " << idleReads;
    ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));  // nothing armed any more: nothing more to say
    Sleep(300);
    EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "01 01 01 00");
    SimClearReceived(*sim);
  }
}

// A screen reader in another process invokes the button (Narrator's Invoke is Active
// Accessibility's default action): it arms as a tap arms it, the controller gets the command, and
// the button is drawn armed.
TEST_F(DeviceE2e, AScreenReadersDefaultActionArmsTheButtonAndTellsTheController) {
  HWND button = nullptr;
  ASSERT_NO_FATAL_FAILURE(LaunchWithFunctionButton(&button));

  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IAccessible* object = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(button, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&object)),
            S_OK);
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR action = nullptr;
  EXPECT_EQ(object->get_accDefaultAction(self, &action), S_OK);
  EXPECT_EQ(std::wstring(action ? action : L""), L"Arm");
  SysFreeString(action);
  EXPECT_EQ(object->accDoDefaultAction(self), S_OK);
  EXPECT_TRUE(WaitForBytes(2, 3000));
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "01 01");
  // Armed now: pressed, and no action left to offer.
  VARIANT state{};
  EXPECT_EQ(object->get_accState(self, &state), S_OK);
  EXPECT_NE(state.lVal & STATE_SYSTEM_PRESSED, 0);
  EXPECT_EQ(object->accDoDefaultAction(self), DISP_E_MEMBERNOTFOUND);
  object->Release();
  CoUninitialize();

  const RECT r = WindowRect(button);
  const std::vector<std::uint8_t> rgb = DrawButtonPicture(ButtonImage::Armed, r.right - r.left);
  std::vector<std::uint32_t> armed;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    armed.push_back(static_cast<std::uint32_t>(rgb[i]) << 16 | static_cast<std::uint32_t>(rgb[i + 1]) << 8 |
                    rgb[i + 2]);
  }
  EXPECT_TRUE(WaitUntil([&] { return CaptureScreen(r.left, r.top, r.right - r.left, r.bottom - r.top) == armed; },
                        3000));
}

TEST_F(DeviceE2e, TapsOnTheButtonLeaveTheUsersWindowInFrontAlsoInMoveMode) {
  HWND button = nullptr;
  ASSERT_NO_FATAL_FAILURE(LaunchWithFunctionButton(&button));

  const UserWindow user(RECT{100, 100, 500, 400});
  ASSERT_NE(user.window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == user.window; }, 2000));
  const RECT before = WindowRect(button);
  const POINT centre{(before.left + before.right) / 2, (before.top + before.bottom) / 2};

  // A tap arms the next touch 400 ms later, a right tap disarms at once; the user's window stays in front.
  Tap(centre);
  ASSERT_TRUE(PumpUntil([&] { return SimReceivedBytes(*sim).size() >= 2; }, 3000));
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "01 01");
  EXPECT_EQ(GetForegroundWindow(), user.window);
  PumpFor(600);
  Tap(centre, true);
  ASSERT_TRUE(PumpUntil([&] { return SimReceivedBytes(*sim).size() >= 4; }, 3000));
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "01 01 01 00");
  EXPECT_EQ(GetForegroundWindow(), user.window);

  // A double tap enters move mode; a press, a drag and the release move the button.
  PumpFor(600);
  Tap(centre);
  Tap(centre);
  PumpFor(600);
  EXPECT_EQ(GetForegroundWindow(), user.window);
  PointerTo(centre);
  Press(MOUSEEVENTF_LEFTDOWN);
  PumpFor(150);
  EXPECT_EQ(GetForegroundWindow(), user.window);
  for (int step = 1; step <= 5; ++step) {
    PointerTo(POINT{centre.x - 30 * step, centre.y - 16 * step});
    PumpFor(40);
  }
  PumpFor(100);
  Press(MOUSEEVENTF_LEFTUP);
  ASSERT_TRUE(PumpUntil([&] { return WindowRect(button).left == before.left - 150; }, 2000));
  PumpFor(200);
  const RECT after = WindowRect(button);
  EXPECT_EQ(after.left - before.left, -150);
  EXPECT_EQ(after.top - before.top, -80);
  EXPECT_EQ(GetForegroundWindow(), user.window);
  // No command for the double tap nor for the move.
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "01 01 01 00");
}

TEST_F(DeviceE2e, TapsOnTheDiscsOfTheSpinningRingReachTheWindowBeneath) {
  StartController(true, true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  HWND indicator = FindIndicatorWindow(app.Pid());
  ASSERT_NE(indicator, nullptr);
  const UserWindow user(RECT{150, 100, 450, 420});
  ASSERT_NE(user.window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == user.window; }, 2000));

  const POINT at{300, 260};
  PointerTo(at);
  PumpFor(200);
  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 1000));

  // Tap whatever disc lies at a pixel of the ring, again and again for the whole turn.
  int taps = 0, reached = 0;
  while (IsWindowVisible(indicator)) {
    const std::vector<std::uint32_t> shown = CaptureScreen(at.x - 63, at.y - 63, 127, 127);
    std::size_t disc = (static_cast<std::size_t>(taps) * 997) % shown.size();
    for (std::size_t n = 0; n < shown.size() && shown[disc] == Rgb(kUserColour); ++n) {
      disc = (disc + 1) % shown.size();
    }
    if (shown[disc] == Rgb(kUserColour)) continue;
    const int before = UserPresses;
    Tap(POINT{at.x - 63 + static_cast<LONG>(disc % 127), at.y - 63 + static_cast<LONG>(disc / 127)});
    ++taps;
    if (PumpUntil([&] { return UserPresses > before; }, 500)) ++reached;
  }
  EXPECT_GE(taps, 3);
  EXPECT_EQ(reached, taps);
  EXPECT_EQ(GetForegroundWindow(), user.window);
}

// Keeps this thread's windows answering while it polls a condition of another process.
bool PumpWhileWaiting(const std::function<bool()>& check, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!check()) {
    if (GetTickCount64() >= end) return false;
    PumpFor(10);
  }
  return true;
}

// The pointer settled at a point, and a tap there: a window just shown under the X server's
// pointer can report a move to that pointer's place, which would take the press elsewhere. Wine
// asks the X server where the pointer is once the last input is 100 ms old, so the pointer has
// settled when that answer is the point too.
bool SettlePointer(POINT at) {
  PointerTo(POINT{at.x + 1, at.y});  // a real change, so the X pointer is moved too
  PointerTo(at);
  return PumpWhileWaiting(
      [&] {
        LASTINPUTINFO last{sizeof(last), 0};
        POINT now{};
        return GetLastInputInfo(&last) && GetTickCount() - last.dwTime > 150 && GetCursorPos(&now) &&
               now.x == at.x && now.y == at.y;
      },
      3000);
}

bool SettledTap(POINT at) {
  const bool settled = SettlePointer(at);
  Press(MOUSEEVENTF_LEFTDOWN);
  Press(MOUSEEVENTF_LEFTUP);
  return settled;
}

// The status window never takes the foreground from the user's application, which keeps its
// caret: not at start, not when the connection is lost, not when its button is tapped or its
// caption dragged. It comes up on top of the topmost windows. A tap into its log text is the user
// turning to it: only then does it become the foreground window, so the text can be selected,
// copied and scrolled with the keys.
TEST_F(DeviceE2e, StatusWindowLeavesTheUsersWindowInFrontAtStartAndOnALostConnection) {
  StartController(true);
  const UserWindow user(RECT{40, 40, 360, 300});
  ASSERT_NE(user.window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == user.window; }, 2000));
  const auto shownAndSettled = [&] {
    if (!status || !IsWindowVisible(status)) return false;
    SendWithTimeout(status, WM_NULL);  // the program has finished showing it
    return true;
  };

  app = LaunchOstinel();
  ASSERT_TRUE(PumpWhileWaiting(
      [&] { return (status = FindProcessWindow(app.Pid(), kDialogClass, kStatusTitle)) && shownAndSettled(); }, 15000));
  EXPECT_EQ(GetForegroundWindow(), user.window) << "at start";
  ASSERT_TRUE(PumpWhileWaiting([&] { return SimIsConnected(*sim) && !IsWindowVisible(status); }, 6000));

  SimUnplug(*sim);
  ASSERT_TRUE(PumpWhileWaiting(shownAndSettled, 3000));
  EXPECT_EQ(GetForegroundWindow(), user.window) << "on the lost connection";
  HWND button = GetDlgItem(status, 1);
  const RECT b = WindowRect(button);
  const POINT onButton{(b.left + b.right) / 2, (b.top + b.bottom) / 2};
  EXPECT_EQ(WindowFromPoint(onButton), button) << "not on top";
  ASSERT_TRUE(SettledTap(onButton));
  ASSERT_TRUE(PumpWhileWaiting([&] { return !IsWindowVisible(status); }, 3000));
  EXPECT_EQ(GetForegroundWindow(), user.window) << "after a tap on its button";

  ASSERT_TRUE(SimPlug(*sim));
  ASSERT_TRUE(PumpWhileWaiting([&] { return SimIsConnected(*sim); }, 5000));
  ASSERT_TRUE(PumpWhileWaiting([&] { return !IsWindowVisible(status) && SimIsConnected(*sim); }, 5000));
  SimUnplug(*sim);
  ASSERT_TRUE(PumpWhileWaiting(shownAndSettled, 3000));
  EXPECT_EQ(GetForegroundWindow(), user.window) << "on the second lost connection";
  // Dragged aside by its caption, it moves and still leaves the user's window in front.
  const RECT before = WindowRect(status);
  const POINT caption{before.left + 60, before.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
  ASSERT_TRUE(SettlePointer(caption));
  Press(MOUSEEVENTF_LEFTDOWN);
  for (int step = 1; step <= 5; ++step) {
    PointerTo(POINT{caption.x - 10 * step, caption.y - 8 * step});
    PumpFor(30);
  }
  Press(MOUSEEVENTF_LEFTUP);
  EXPECT_TRUE(PumpWhileWaiting([&] { return WindowRect(status).left == before.left - 50; }, 3000))
      << WindowRect(status).left - before.left;
  EXPECT_EQ(GetForegroundWindow(), user.window) << "after a drag by its caption";
  const RECT log = WindowRect(GetDlgItem(status, kStatusLog));
  ASSERT_TRUE(SettledTap(POINT{log.left + 30, log.top + 30}));
  EXPECT_TRUE(PumpWhileWaiting([&] { return GetForegroundWindow() == status; }, 3000)) << "a tap into the log";
}

// The thread of a window of another process holds the capture with that window.
bool HoldsCapture(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndCapture == window;
}

// A quick swipe by the caption, released off the window: a window that is not in the foreground
// keeps only the mouse messages over it, so the swipe's move and its release go to the window
// beneath. The status window still stands where the swipe ended, the drag is over, and a later
// hover, over the window or where it was, does not move it.
TEST_F(DeviceE2e, StatusWindowSwipedByItsCaptionStaysWhereTheSwipeEnded) {
  StartController(false);
  const UserWindow user(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  ASSERT_NE(user.window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == user.window; }, 2000));
  app = LaunchOstinel();
  ASSERT_TRUE(PumpWhileWaiting(
      [&] {
        status = FindProcessWindow(app.Pid(), kDialogClass, kStatusTitle);
        return status && IsWindowVisible(status) && SendWithTimeout(status, WM_NULL) == 0;
      },
      15000));
  const RECT before = WindowRect(status);
  const POINT caption{before.left + 60, before.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
  ASSERT_TRUE(SettlePointer(caption));
  Press(MOUSEEVENTF_LEFTDOWN);
  ASSERT_TRUE(PumpWhileWaiting([&] { return HoldsCapture(status); }, 3000));
  // Far off the window in one step, released there at once.
  const POINT end{caption.x - 260, caption.y + 230};
  SetCursorPos(end.x, end.y);
  INPUT swipe[] = {MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, end), MouseInput(MOUSEEVENTF_LEFTUP)};
  SendInput(2, swipe, sizeof(INPUT));
  // The drag is over when the window lets go of the capture; it stands where the swipe ended (to a
  // pixel: Wine may report the X server's pointer one pixel off after the warp).
  ASSERT_TRUE(PumpWhileWaiting([&] { return !HoldsCapture(status); }, 3000)) << "the drag never ended";
  const RECT ended = WindowRect(status);
  EXPECT_NEAR(ended.left - before.left, -260, 1);
  EXPECT_NEAR(ended.top - before.top, 230, 1);

  const POINT onCaptionNow{end.x + 40, end.y};
  for (const POINT hover : {onCaptionNow, caption, POINT{end.x + 20, end.y + 60}, onCaptionNow}) {
    ASSERT_TRUE(SettlePointer(hover));
    SendWithTimeout(status, WM_NULL);
    const RECT now = WindowRect(status);
    EXPECT_TRUE(now.left == ended.left && now.top == ended.top)
        << "after a hover at " << hover.x << ", " << hover.y << ": moved by " << now.left - ended.left << ", "
        << now.top - ended.top;
  }
  EXPECT_EQ(GetForegroundWindow(), user.window);
}

// WM_CLOSE (what taskkill without /f and uninstallers send) ends the program with 0: the held
// read is cancelled and the controller and the one-copy mutex let go, so a new start runs normally.
// Logoff never prompts and lets go of the controller.
TEST_F(DeviceE2e, CloseEndsTheProgramWithZeroAndLetsGoOfTheControllerAndTheMutex) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  ASSERT_TRUE(WaitForBytes(4, 2000));
  PostMessageW(FindProcessWindow(app.Pid(), kMainWindowClass, nullptr), WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitExit(5000), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));

  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kConnectOk); }, 5000));
  EXPECT_EQ(SimConnectionCount(*sim), 2);

  HWND main = FindProcessWindow(app.Pid(), kMainWindowClass, nullptr);
  EXPECT_EQ(SendWithTimeout(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  SendWithTimeout(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));
}

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
  HWND main = FindProcessWindow(pid, kMainWindowClass, nullptr);
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
  EXPECT_NE(FindProcessWindow(pid, kMainWindowClass, nullptr), nullptr);
  EXPECT_EQ(main, FindProcessWindow(pid, kMainWindowClass, nullptr));
}

// Only the copy in the session attached to the console holds the controller. The product asks the
// system on every session notice, so a notice posted by another process changes nothing; the test
// build is told by the test which session has the console.
TEST_F(DeviceE2e, OnlyTheConsoleSessionHoldsTheControllerAndASpoofedNoticeChangesNothing) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  PostMessageW(FindProcessWindow(app.Pid(), kMainWindowClass, nullptr), WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT,
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
  HWND main = FindProcessWindow(app.Pid(), kMainWindowClass, nullptr);

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

// A driver that takes a command only at the next touch: the write stays pending, yet the console
// leaving, a queued command and the end of the program are not held up by it. A touch lets one
// command through; a command queued while a read is outstanding cancels that read to go out, and
// the touch that releases it is still read, once.
TEST_F(DeviceE2e, ACommandTheDriverHoldsHoldsUpNeitherTheConsoleLeavingNorTheEnd) {
  StartController(true, false, true);
  DWORD mine = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &mine);
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine));
  app = Launch(SiblingProgram(L"OstinelFaults.exe"));
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim); }, 5000));
  HWND main = FindProcessWindow(app.Pid(), kMainWindowClass, nullptr);
  HWND button = FindFunctionButton(app.Pid());
  HWND indicator = FindIndicatorWindow(app.Pid());
  ASSERT_NE(button, nullptr);
  ASSERT_NE(indicator, nullptr);

  // The setup waits for a touch; the touch is then read and acted on.
  EXPECT_FALSE(WaitForBytes(1, 300));
  SendPointerMove(300, 260);
  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(WaitForBytes(4, 2000));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 2000));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(indicator); }, 3000));

  // Armed while the program waits in a read: its command is held too; the next touch lets it
  // through and is itself acted on (the ring turns again).
  PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  PostMessageW(button, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(WaitForBytes(6, 2000));
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00 01 01");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 2000));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(indicator); }, 3000));

  // Disarmed: held. The console leaves meanwhile: the controller is let go at once.
  PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  PostMessageW(button, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine + 1));
  PostMessageW(main, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, mine);
  ASSERT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 3000));
  EXPECT_EQ(SimReceivedBytes(*sim).size(), 6u);

  // Back: the setup and the disarm, still pending, go out on the new connection, a touch each.
  SimClearReceived(*sim);
  ASSERT_TRUE(SetConsoleSessionOfTestBuild(mine));
  PostMessageW(main, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, mine);
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 2 && SimIsConnected(*sim); }, 5000));
  ASSERT_TRUE(SimSendEvent(*sim, 0));
  ASSERT_TRUE(WaitForBytes(4, 2000));
  ASSERT_TRUE(SimSendEvent(*sim, 0));
  ASSERT_TRUE(WaitForBytes(6, 2000));
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00 01 00");

  // The end while a command is held: the program still ends at once, with 0.
  PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.WaitExit(5000), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !SimIsConnected(*sim); }, 2000));
  ForgetConsoleSessionOfTestBuild();
}

// The controller's interface arrives (plugged in, driver loaded): the program tries at once
// instead of at the end of its 2.2 s retry pause.
TEST_F(DeviceE2e, AnArrivalOfTheControllersInterfaceConnectsAtOnce) {
  StartController(false);
  app = LaunchOstinel();
  status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitForLog([](const std::wstring& l) { return EndsWith(l, kRetryLine); }, 5000));
  HWND main = FindProcessWindow(app.Pid(), kMainWindowClass, nullptr);
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

// The ring at the display's scale, from end to end: started at 100, 125, 150 and 200 %, the program
// shows a window of side ScaleToDpi(127, dpi) centred on the pointer, and what it shows is the
// reference frame of that scale.
TEST_F(DeviceE2e, RingIsDrawnForTheDisplaysScaleCentredOnThePointer) {
  const POINT at{350, 310};
  for (DWORD dpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(testing::Message() << dpi << " dpi");
    const int side = ScaleToDpi(127, dpi);
    const std::vector<std::vector<std::uint32_t>> frames = RingFrames(side, Rgb(kUserColour));
    ASSERT_EQ(frames.size(), 24u);
    const PrefixAtDpi scale(dpi);
    StartController(true, true);
    ASSERT_NO_FATAL_FAILURE(LaunchConnected());
    HWND indicator = FindIndicatorWindow(app.Pid());
    ASSERT_NE(indicator, nullptr);
    const UserWindow user(RECT{at.x - 200, at.y - 200, at.x + 200, at.y + 200});
    ASSERT_NE(user.window, nullptr);
    PointerTo(at);
    PumpFor(200);

    // Up to three showings, for a screen read that falls between two frames on a busy machine.
    int matched = 0;
    for (int showing = 0; showing < 3 && matched == 0; ++showing) {
      ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
      ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 2000));
      const RECT r = WindowRect(indicator);
      EXPECT_EQ(r.right - r.left, side);
      EXPECT_EQ(r.bottom - r.top, side);
      EXPECT_EQ(r.left, at.x - side / 2);
      EXPECT_EQ(r.top, at.y - side / 2);
      while (IsWindowVisible(indicator)) {
        PumpFor(15);
        const std::vector<std::uint32_t> shown = CaptureScreen(at.x - side / 2, at.y - side / 2, side, side);
        for (const auto& frame : frames) matched += shown == frame ? 1 : 0;
      }
    }
    EXPECT_GT(matched, 0);
    ProgramTest::TearDown();
    sim.reset();
  }
}
