// The function button from end to end: armed by taps, right clicks and screen readers, its
// commands reaching the controller (also while the driver holds a read or a write), and the user's
// application kept in front.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleacc.h>

#include <string>
#include <vector>

#include "button/button_picture.h"
#include "core/app_state.h"
#include "device/device_loop.h"
#include "device/device_protocol.h"
#include "e2e/device_test.h"
#include "feedback/popup_win_test_support.h"

namespace {

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
  HWND main = FindProcessWindow(app.Pid(), MAIN_WINDOW_CLASS, nullptr);
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

}  // namespace
