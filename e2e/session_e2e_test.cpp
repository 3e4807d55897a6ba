// One whole session of the real program against the simulated controller, as a user lives it:
// start connected, change the settings through the dialog, arm the function button, touch, lose the
// controller, change the button while it is away, get it back. At the end the controller must have
// received exactly the commands of the session, in order, none lost and none repeated.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "device/device_protocol.h"
#include "e2e/e2e_support.h"
#include "e2e/program_test.h"
#include "tools/sim_controller/sim_controller.h"

namespace {

// When the controller saw each connection begin (pipe thread writes, test reads).
struct ConnectionLog {
  std::mutex Lock;
  std::vector<std::uint64_t> StartedMicros;
};

void RecordConnection(void* context, bool connected) {
  if (!connected) return;
  auto* log = static_cast<ConnectionLog*>(context);
  std::lock_guard<std::mutex> guard(log->Lock);
  log->StartedMicros.push_back(SimNowMicros());
}

class SessionE2e : public ProgramTest {
 protected:
  void TearDown() override {
    ProgramTest::TearDown();
    sim.reset();
  }

  std::string Received() { return SimHex(SimReceivedBytes(*sim)); }
  bool WaitForBytes(std::size_t count, DWORD timeoutMs) {
    return WaitUntil([&] { return SimReceivedBytes(*sim).size() >= count; }, timeoutMs);
  }

  // What a settings tool does: WM_USER+1 to the main window, found by its class name.
  void OpenSettings() { ASSERT_TRUE(OpenSettingsDialog(main, dialog)); }

  void Ok() {
    SendWithTimeout(GetDlgItem(dialog, IDOK), BM_CLICK);
    EXPECT_FALSE(IsWindowVisible(dialog));
  }

  // Right press on the function button: arms or disarms it at once.
  void PressButton() {
    PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
    PostMessageW(button, WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
  }

  ConnectionLog connections;
  UniqueSim sim;
  LaunchedProcess app;
  HWND main = nullptr;
  HWND dialog = nullptr;
  HWND button = nullptr;
};

TEST_F(SessionE2e, WholeSessionSendsEachCommandOnceAndInOrder) {
  // A driver that completes idle reads, so commands go out without waiting for a touch.
  SimOptions options;
  options.PipeName = L"ostinel-session";
  options.IdleReads = true;
  options.IdleIntervalMs = 50;
  options.OnConnection = RecordConnection;
  options.Context = &connections;
  std::uint32_t error = 0;
  sim = StartSim(options, &error);
  ASSERT_TRUE(sim) << "simulated controller did not start: " << error;

  // Start: the stored settings (the defaults: hold still, 1.0 s) are the first command.
  app = LaunchOstinel();
  HWND status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  ASSERT_TRUE(WaitForBytes(4, 5000));
  EXPECT_EQ(Received(), "00 01 64 00");

  main = FindWindowW(MAIN_WINDOW_CLASS, nullptr);
  ASSERT_NE(main, nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(main, &owner);
  ASSERT_EQ(owner, app.Pid());
  dialog = FindSettingsDialog(app.Pid());
  button = FindFunctionButton(app.Pid());
  HWND indicator = FindIndicatorWindow(app.Pid());
  ASSERT_NE(dialog, nullptr);
  ASSERT_NE(button, nullptr);
  ASSERT_NE(indicator, nullptr);
  EXPECT_FALSE(IsWindowVisible(button));  // the hold-still method needs no button

  // Settings: the function button as method, 2.5 s hold time. The method and the hold time
  // changed, so the controller gets a new setup: no hold-still flag, 250 = FA 00.
  ASSERT_NO_FATAL_FAILURE(OpenSettings());
  SendWithTimeout(GetDlgItem(dialog, IDC_METHOD_BUTTON), BM_CLICK);
  HWND slider = GetDlgItem(dialog, IDC_WAIT_SLIDER);
  SendWithTimeout(slider, TBM_SETPOS, TRUE, 250);
  SendWithTimeout(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 250), reinterpret_cast<LPARAM>(slider));
  Ok();
  ASSERT_TRUE(WaitForBytes(8, 2000)) << Received();
  EXPECT_EQ(Received(), "00 01 64 00 00 00 FA 00");
  const DWORD withButton = SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH | SETUP_FUNCTION_BUTTON;
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), withButton);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 250u);
  EXPECT_TRUE(IsWindowVisible(button));

  // A second OK that only turns on once-only: stored and in force, but nothing for the controller.
  ASSERT_NO_FATAL_FAILURE(OpenSettings());
  EXPECT_EQ(SendWithTimeout(GetDlgItem(dialog, IDC_METHOD_BUTTON), BM_GETCHECK), BST_CHECKED);
  EXPECT_EQ(SendWithTimeout(slider, TBM_GETPOS), 250);
  SendWithTimeout(GetDlgItem(dialog, IDC_ONCE_ONLY), BM_CLICK);
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), withButton | SETUP_ONCE_ONLY);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 250u);
  EXPECT_TRUE(IsWindowVisible(button));

  // Arm the button; the controller is told at once.
  PressButton();
  ASSERT_TRUE(WaitForBytes(10, 2000)) << Received();
  EXPECT_EQ(Received(), "00 01 64 00 00 00 FA 00 01 01");

  // The right click that the armed button produced disarms it (once only) and shows the indicator.
  SendPointerMove(300, 260);
  Sleep(100);
  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(WaitForBytes(12, 2000)) << Received();
  EXPECT_EQ(Received(), "00 01 64 00 00 00 FA 00 01 01 01 00");
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 1000));

  // Ordinary touches while the button is idle: feedback only, no command.
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(SimSendEvent(*sim, (i % 3 == 2) ? EVENT_RIGHT_CLICK : EVENT_LEFT_CLICK));
    Sleep(30);
  }
  Sleep(400);  // let the last touches drain before the controller goes away
  EXPECT_EQ(SimReceivedBytes(*sim).size(), 12u) << Received();
  DWORD_PTR ignored = 0;
  EXPECT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored), 0);
  EXPECT_TRUE(app.Running());

  // The controller goes away. The button is pressed three times meanwhile: the last state (armed)
  // is what it must hear once it is back, once.
  SimUnplug(*sim);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(status) != FALSE; }, 3000));
  for (int i = 0; i < 3; ++i) {
    PressButton();
    Sleep(50);
  }
  Sleep(300);
  EXPECT_EQ(SimReceivedBytes(*sim).size(), 12u) << Received();

  ASSERT_TRUE(SimPlug(*sim));
  ASSERT_TRUE(WaitUntil([&] { return SimConnectionCount(*sim) == 2; }, 5000));
  ASSERT_TRUE(WaitForBytes(14, 2000)) << Received();
  Sleep(500);  // nothing more may follow

  EXPECT_EQ(Received(), "00 01 64 00 00 00 FA 00 01 01 01 00 01 01");
  const std::vector<SimCommand> commands = SimCommands(*sim);
  ASSERT_EQ(commands.size(), 5u);
  std::lock_guard<std::mutex> guard(connections.Lock);
  ASSERT_EQ(connections.StartedMicros.size(), 2u);
  EXPECT_GE(commands[4].UnixMicros, connections.StartedMicros[1]);  // sent on the new connection
  EXPECT_LT(commands[3].UnixMicros, connections.StartedMicros[1]);
  EXPECT_TRUE(IsWindowVisible(button));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), withButton | SETUP_ONCE_ONLY);
}

}  // namespace
