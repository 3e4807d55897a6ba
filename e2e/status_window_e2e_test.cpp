// The status window from end to end: it never takes the foreground from the user's application
// unless the user turns to its text, and a swipe by its caption leaves it where the swipe ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "e2e/device_test.h"
#include "feedback/popup_win_test_support.h"

namespace {

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

// The thread of a window of another process holds the capture with that window.
bool HoldsCapture(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndCapture == window;
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
  HWND button = GetDlgItem(status, IDC_STATUS_BUTTON);
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
  const RECT log = WindowRect(GetDlgItem(status, IDC_STATUS_LOG));
  ASSERT_TRUE(SettledTap(POINT{log.left + 30, log.top + 30}));
  EXPECT_TRUE(PumpWhileWaiting([&] { return GetForegroundWindow() == status; }, 3000)) << "a tap into the log";
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

}  // namespace
