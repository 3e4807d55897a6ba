// DeviceLatencyBench.exe: figures of the device link, measured end to end against the real
// Ostinel.exe and the simulated controller (run under Wine; not a test, it prints figures).
//
//   DeviceLatencyBench.exe [--events N] [--cycles N]
//
// 1. Event to indicator: the controller writes a right-click byte; timed until the program's
//    indicator window stands centred on the pointer (moved to a new place before every event).
// 2. Event to command: with once-only on and the button armed, the controller writes a right-click
//    byte; timed until the disarm command 01 00 arrives back (this includes the loop's 10 ms pause).
// 3. Reconnects: the controller is unplugged, the button toggled while it is away, and plugged in
//    again; counted are the reconnects and the pending commands delivered with the right state.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "device/device_protocol.h"
#include "e2e/e2e_support.h"
#include "tools/sim_controller/sim_controller.h"

namespace {

constexpr int kIndicatorOffset = 63;

void PrintFigures(const char* name, std::vector<double> ms, int attempts) {
  if (ms.empty()) {
    std::printf("%-24s no samples (%d attempts)\n", name, attempts);
    return;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * (ms.size() - 1) + 0.5))]; };
  std::printf("%-24s n=%zu/%d  min %.2f  p50 %.2f  p90 %.2f  p99 %.2f  max %.2f ms\n", name, ms.size(), attempts,
              ms.front(), at(0.50), at(0.90), at(0.99), ms.back());
}

bool WaitForCommand(SimController& sim, std::size_t index, std::uint64_t* micros, std::vector<std::uint8_t>* bytes,
                    DWORD timeoutMs) {
  std::vector<SimCommand> commands;
  const bool ok = WaitUntil([&] { return (commands = SimCommands(sim)).size() > index; }, timeoutMs);
  if (!ok) return false;
  if (micros) *micros = commands[index].UnixMicros;
  if (bytes) *bytes = commands[index].Bytes;
  return true;
}

// Busy-polls (no 10 ms steps) until check holds; returns the time it held, or 0.
template <typename Check>
std::uint64_t PollUntil(Check check, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < end) {
    if (check()) return SimNowMicros();
    SwitchToThread();
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int events = 300;
  int cycles = 100;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--events") == 0) events = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--cycles") == 0) cycles = _wtoi(argv[i + 1]);
  }

  EndAllOstinel();
  StoreSetting(L"ButtonSetup", SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH | SETUP_FUNCTION_BUTTON | SETUP_ONCE_ONLY);
  SimOptions options;
  options.PipeName = L"ostinel-bench";
  std::uint32_t error = 0;
  UniqueSim sim = StartSim(options, &error);
  if (!sim) {
    std::printf("simulated controller did not start: 0x%08X\n", error);
    return 1;
  }
  LaunchedProcess app = LaunchOstinel();
  if (!WaitUntil([&] { return SimIsConnected(*sim); }, 10000) ||
      !WaitUntil([&] { return !SimCommands(*sim).empty(); }, 3000)) {
    std::printf("the program did not connect\n");
    return 1;
  }
  std::printf("connected; first command %s\n", SimHex(SimCommands(*sim)[0].Bytes).c_str());
  HWND indicator = FindIndicatorWindow(app.Pid());
  HWND button = FindFunctionButton(app.Pid());

  // 1. Event to indicator placed at the pointer.
  std::vector<double> toIndicator;
  if (!indicator) {
    std::printf("no indicator window: event-to-indicator skipped\n");
  } else {
    for (int i = 0; i < events; ++i) {
      const int x = 205 + (i % 2) * 300 + (i % 7) * 10;
      const int y = 200 + (i % 3) * 100;
      SendPointerMove(x, y);
      Sleep(20);  // the hook records the move
      std::uint64_t sent = 0;
      if (!SimSendEvent(*sim, EVENT_RIGHT_CLICK, &sent)) continue;
      const std::uint64_t seen = PollUntil(
          [&] {
            RECT r{};
            return IsWindowVisible(indicator) && GetWindowRect(indicator, &r) && r.left == x - kIndicatorOffset &&
                   r.top == y - kIndicatorOffset;
          },
          2000);
      if (seen) {
        toIndicator.push_back(static_cast<double>(seen - sent) / 1000.0);
      } else {
        RECT r{};
        GetWindowRect(indicator, &r);
        std::printf("event %d: indicator not at (%d, %d) but at (%ld, %ld), %s\n", i, x - kIndicatorOffset,
                    y - kIndicatorOffset, r.left, r.top, IsWindowVisible(indicator) ? "visible" : "hidden");
      }
    }
  }

  // 2. Event to the once-only disarm command. Reads are held, so each arm goes out after a 0 byte.
  std::vector<double> toCommand;
  if (!button) {
    std::printf("no function button: event-to-command and the button part of reconnects skipped\n");
  } else {
    SimClearReceived(*sim);
    for (int i = 0; i < events; ++i) {
      SimClearReceived(*sim);
      PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
      Sleep(5);
      SimSendEvent(*sim, 0x00);
      std::vector<std::uint8_t> bytes;
      if (!WaitForCommand(*sim, 0, nullptr, &bytes, 1000) || bytes != std::vector<std::uint8_t>{0x01, 0x01}) {
        std::printf("arming %d: no 01 01 (got %s)\n", i, SimHex(bytes).c_str());
        continue;
      }
      std::uint64_t sent = 0;
      std::uint64_t received = 0;
      SimSendEvent(*sim, EVENT_RIGHT_CLICK, &sent);
      if (WaitForCommand(*sim, 1, &received, &bytes, 1000) && bytes == std::vector<std::uint8_t>{0x01, 0x00}) {
        toCommand.push_back(static_cast<double>(received - sent) / 1000.0);
      }
    }
  }

  // 3. Unplug, change the button while away, plug in again.
  int reconnects = 0;
  int delivered = 0;
  int wrongState = 0;
  std::vector<double> reconnectMs;
  bool armed = false;
  for (int i = 0; i < cycles; ++i) {
    const int connections = SimConnectionCount(*sim);
    SimUnplug(*sim);
    Sleep(100);
    if (button) {
      PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
      armed = !armed;
    }
    Sleep(50);
    SimClearReceived(*sim);
    const ULONGLONG plugged = GetTickCount64();
    SimPlug(*sim);
    if (!WaitUntil([&] { return SimConnectionCount(*sim) > connections; }, 5000)) {
      std::printf("cycle %d: no reconnect\n", i);
      continue;
    }
    ++reconnects;
    reconnectMs.push_back(static_cast<double>(GetTickCount64() - plugged));
    if (!button) continue;
    std::vector<std::uint8_t> bytes;
    if (WaitForCommand(*sim, 0, nullptr, &bytes, 2000)) {
      ++delivered;
      if (bytes != std::vector<std::uint8_t>{0x01, static_cast<std::uint8_t>(armed ? 1 : 0)}) ++wrongState;
    }
  }

  std::printf("\n");
  PrintFigures("event -> indicator", toIndicator, indicator ? events : 0);
  PrintFigures("event -> 01 00 command", toCommand, button ? events : 0);
  PrintFigures("plug -> reconnect", reconnectMs, cycles);
  std::printf("%-24s reconnects %d/%d, pending commands delivered %d/%d, wrong state %d\n", "unplug/replug cycles",
              reconnects, cycles, delivered, button ? cycles : 0, wrongState);
  EndAllOstinel();
  return 0;
}
