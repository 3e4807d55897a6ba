// The fixture of the end-to-end tests of the device link: the real program against a simulated
// touch controller that its unmodified Setup API discovery finds and its CreateFileW opens, the
// user's application in front, and real input as a touch makes it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "core/app_state.h"
#include "e2e/e2e_support.h"
#include "e2e/program_test.h"
#include "feedback/popup_win_test_support.h"
#include "tools/sim_controller/sim_controller.h"
#include "win/win_handles.h"

constexpr wchar_t kBannerFirstLine[] = L"Vemto Kavrix Screen sound out program\r\n";
constexpr wchar_t kEnumFailed[] = L"SetupDiEnumDeviceInterfaces failed.\r\n";
constexpr wchar_t kConnectOk[] = L"Connect OK!\r\n";
constexpr wchar_t kRetryLine[] =
    L"Could not connected to Vemto Kavrix Device\r\nThis program will be auto retry again later!";

inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text)
    out += (c == L'\r') ? std::string("\\r") : (c == L'\n') ? std::string("\\n") : std::string(1, static_cast<char>(c));
  return out;
}

inline bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The user's application: a window of this process in front, magenta, counting the left presses
// it gets. This thread dispatches its messages while a test waits with PumpUntil.
constexpr COLORREF kUserColour = RGB(255, 0, 255);  // not a colour of the ring
inline std::atomic<int> UserPresses{0};

inline LRESULT CALLBACK UserWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
inline void PointerTo(POINT at) {
  SetCursorPos(at.x, at.y);
  INPUT move = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at);
  SendInput(1, &move, sizeof(INPUT));
}

inline void Press(DWORD flags) {
  INPUT press = MouseInput(flags);
  SendInput(1, &press, sizeof(INPUT));
}

inline void Tap(POINT at, bool right = false) {
  PointerTo(at);
  Press(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
  Press(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
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

  std::wstring Log() const { return ControlText(status, IDC_STATUS_LOG); }

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
