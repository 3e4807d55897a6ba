// DeviceLatencyBench.exe: figures of the device link, measured end to end against the real
// Ostinel.exe and the simulated controller (run under Wine; not a test, it prints figures).
//
//   DeviceLatencyBench.exe [--events N] [--cycles N] [--commands N] [--closes N] [--sessions N]
//
// 1. Event to indicator: the controller writes a right-click byte; timed until the program's
//    indicator window stands centred on the pointer (moved to a new place before every event).
// 2. Event to command: with once-only on and the button armed, the controller writes a right-click
//    byte; timed until the disarm command 01 00 arrives back (this includes the loop's 10 ms pause).
// 3. Commands while the program waits in a read, for both kinds of driver (reads held until the
//    next touch; idle reads completed with a 0 byte every 50 ms): a click on the function button
//    timed until its command arrives, and OK in the settings dialog (with a new hold time) timed
//    until the setup command arrives. No touch is made meanwhile.
// 4. Reconnects: the controller is unplugged, the button toggled while it is away, and plugged in
//    again; counted are the reconnects and the pending commands delivered with the right state.
// 5. Close: WM_CLOSE to the main window of a connected program, timed until the process has ended
//    (its exit code checked) and until the controller saw the connection end.
// 6. Sessions (the test build, told which session has the console): the console goes to another
//    session, timed until the controller saw the connection end; it comes back, timed until the
//    setup command arrived on the new connection.
// 7. With --cpu SECONDS: CPU of the test build (process, and its busiest thread) over SECONDS in
//    each failure mode the simulated controller can play, and a write the driver holds against the
//    console leaving (timed as in 6; the controller notices the end by a poll every 5 ms).
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "device/device_protocol.h"
#include "e2e/e2e_support.h"
#include "bench/windows/process_cpu.h"
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

// When the controller saw connections end (pipe thread writes, bench reads).
struct ConnectionTimes {
  std::atomic<std::uint64_t> LastDisconnectMicros{0};
};

void RecordConnection(void* context, bool connected) {
  if (!connected) static_cast<ConnectionTimes*>(context)->LastDisconnectMicros.store(SimNowMicros());
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

// CPU time of the process's threads (GetThreadTimes answers for another process's threads).
// Per thread id: user + kernel seconds, in the order the threads were created.
std::vector<std::pair<DWORD, double>> ThreadCpuSeconds(DWORD pid) {
  std::vector<std::pair<ULONGLONG, std::pair<DWORD, double>>> created;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (!thread) continue;
    FILETIME createdAt{}, exited{}, kernel{}, user{};
    if (GetThreadTimes(thread, &createdAt, &exited, &kernel, &user)) {
      created.push_back({(static_cast<ULONGLONG>(createdAt.dwHighDateTime) << 32) | createdAt.dwLowDateTime,
                         {entry.th32ThreadID, FileTimeSeconds(kernel) + FileTimeSeconds(user)}});
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  std::sort(created.begin(), created.end());
  std::vector<std::pair<DWORD, double>> threads;
  for (const auto& item : created) threads.push_back(item.second);
  return threads;
}

// Measures a process for `seconds` while `during` runs every 10 ms (it may drive the controller).
// Prints the process's share of one core and each busy thread's (GetThreadTimes, 10 ms ticks).
template <typename During>
void MeasureCpu(const char* mode, DWORD pid, int seconds, During during) {
  const double processBefore = ProcessCpuSeconds(pid);
  const std::vector<std::pair<DWORD, double>> threadsBefore = ThreadCpuSeconds(pid);
  const ULONGLONG start = GetTickCount64();
  while (GetTickCount64() - start < static_cast<ULONGLONG>(seconds) * 1000) {
    during();
    Sleep(10);
  }
  const double wall = static_cast<double>(GetTickCount64() - start) / 1000.0;
  const double process = ProcessCpuSeconds(pid) - processBefore;
  // Threads in the order they were created: the UI thread first, then the device thread.
  std::string perThread;
  int ordinal = 0;
  for (const auto& [id, after] : ThreadCpuSeconds(pid)) {
    ++ordinal;
    for (const auto& [beforeId, before] : threadsBefore) {
      if (beforeId != id || after - before <= 0.0) continue;
      char text[64];
      std::snprintf(text, sizeof text, "  #%d %.0f ms (%.3f%%)", ordinal, (after - before) * 1000.0,
                    100.0 * (after - before) / wall);
      perThread += text;
    }
  }
  std::printf("%-40s %5.1f s: process %6.0f ms (%.3f%% of a core); threads:%s\n", mode, wall, process * 1000.0,
              100.0 * process / wall, perThread.empty() ? " none above 0" : perThread.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int events = 300;
  int cycles = 100;
  int commands = 300;
  int closes = 20;
  int sessions = 20;
  int cpuSeconds = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--events") == 0) events = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--cycles") == 0) cycles = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--commands") == 0) commands = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--closes") == 0) closes = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--sessions") == 0) sessions = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--cpu") == 0) cpuSeconds = _wtoi(argv[i + 1]);
  }

  EndAllOstinel();
  StoreSetting(L"ButtonSetup", SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH | SETUP_FUNCTION_BUTTON | SETUP_ONCE_ONLY);
  ConnectionTimes connectionTimes;
  SimOptions options;
  options.PipeName = L"ostinel-bench";
  options.OnConnection = RecordConnection;
  options.Context = &connectionTimes;
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

  // 2. Event to the once-only disarm command.
  std::vector<double> toCommand;
  if (!button) {
    std::printf("no function button: event-to-command and the button part of reconnects skipped\n");
  } else {
    SimClearReceived(*sim);
    for (int i = 0; i < events; ++i) {
      SimClearReceived(*sim);
      PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
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

  // 3. Commands while the program waits in a read, both kinds of driver.
  struct CommandFigures {
    std::vector<double> Click;
    std::vector<double> Ok;
  } held, idle;
  HWND main = FindWindowW(MAIN_WINDOW_CLASS, nullptr);
  HWND dialog = FindSettingsDialog(app.Pid());
  for (CommandFigures* figures : {&held, &idle}) {
    SimSetIdle(*sim, figures == &idle, 50);
    Sleep(200);
    for (int i = 0; button && i < commands; ++i) {
      SimClearReceived(*sim);
      const std::uint64_t clicked = SimNowMicros();
      PostMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
      std::uint64_t received = 0;
      std::vector<std::uint8_t> bytes;
      if (WaitForCommand(*sim, 0, &received, &bytes, 2000) && bytes.size() == 2 && bytes[0] == 0x01) {
        figures->Click.push_back(static_cast<double>(received - clicked) / 1000.0);
      }
      Sleep(7 + i % 13);  // not in step with the driver's idle reads
    }
    HWND ok = dialog ? GetDlgItem(dialog, IDOK) : nullptr;
    HWND slider = dialog ? GetDlgItem(dialog, IDC_WAIT_SLIDER) : nullptr;
    for (int i = 0; ok && slider && i < commands; ++i) {
      if (!OpenSettingsDialog(main, dialog)) break;
      // A new hold time every time, so that every OK queues the setup command.
      SendWithTimeout(slider, TBM_SETPOS, TRUE, 60 + (i % 2) * 100 + (figures == &idle ? 200 : 0) + i % 40);
      SendWithTimeout(dialog, WM_HSCROLL, 0, reinterpret_cast<LPARAM>(slider));
      SimClearReceived(*sim);
      const std::uint64_t pressed = SimNowMicros();
      PostMessageW(ok, BM_CLICK, 0, 0);
      std::uint64_t received = 0;
      std::vector<std::uint8_t> bytes;
      if (WaitForCommand(*sim, 0, &received, &bytes, 2000) && bytes.size() == 4 && bytes[0] == 0x00) {
        figures->Ok.push_back(static_cast<double>(received - pressed) / 1000.0);
      }
      Sleep(7 + i % 13);
    }
  }
  SimSetIdle(*sim, false, 0);

  // 4. Unplug, change the button while away, plug in again.
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

  // 5. WM_CLOSE to the main window of a connected program, then a new start.
  std::vector<double> closeToExit;
  std::vector<double> closeToRelease;
  int exitZero = 0;
  EndAllOstinel();
  for (int i = 0; i < closes; ++i) {
    LaunchedProcess copy = LaunchOstinel();
    const int connections = SimConnectionCount(*sim);
    HWND copyMain = nullptr;
    if (!WaitUntil([&] { return SimConnectionCount(*sim) > connections && SimIsConnected(*sim); }, 10000) ||
        !(copyMain = FindProcessWindow(copy.Pid(), MAIN_WINDOW_CLASS, nullptr))) {
      std::printf("close %d: the program did not connect\n", i);
      continue;
    }
    Sleep(300);
    const std::uint64_t posted = SimNowMicros();
    PostMessageW(copyMain, WM_CLOSE, 0, 0);
    const DWORD code = copy.WaitExit(10000);
    const std::uint64_t ended = SimNowMicros();
    if (code == 0) ++exitZero;
    closeToExit.push_back(static_cast<double>(ended - posted) / 1000.0);
    if (WaitUntil([&] { return !SimIsConnected(*sim); }, 3000)) {
      closeToRelease.push_back(static_cast<double>(connectionTimes.LastDisconnectMicros.load() - posted) / 1000.0);
    }
  }

  // 6. The console leaves this session and comes back (the test build's session source).
  std::vector<double> sessionRelease;
  std::vector<double> sessionReconnect;
  DWORD mine = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &mine);
  SetConsoleSessionOfTestBuild(mine);
  LaunchedProcess faults = Launch(SiblingProgram(L"OstinelFaults.exe"));
  const int before = SimConnectionCount(*sim);
  HWND faultsMain = nullptr;
  if (sessions > 0 && (!WaitUntil([&] { return SimConnectionCount(*sim) > before && SimIsConnected(*sim); }, 10000) ||
                       !(faultsMain = FindProcessWindow(faults.Pid(), MAIN_WINDOW_CLASS, nullptr)))) {
    std::printf("the test build did not connect: sessions skipped\n");
    sessions = 0;
  }
  for (int i = 0; i < sessions; ++i) {
    Sleep(300);
    SetConsoleSessionOfTestBuild(mine + 1);
    const std::uint64_t away = SimNowMicros();
    PostMessageW(faultsMain, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, mine);
    if (!WaitUntil([&] { return !SimIsConnected(*sim); }, 3000)) {
      std::printf("session %d: the controller was not let go\n", i);
      break;
    }
    sessionRelease.push_back(static_cast<double>(connectionTimes.LastDisconnectMicros.load() - away) / 1000.0);
    Sleep(300);
    SimClearReceived(*sim);
    SetConsoleSessionOfTestBuild(mine);
    const std::uint64_t back = SimNowMicros();
    PostMessageW(faultsMain, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, mine);
    std::uint64_t received = 0;
    std::vector<std::uint8_t> bytes;
    if (WaitForCommand(*sim, 0, &received, &bytes, 5000) && bytes.size() == 4) {
      sessionReconnect.push_back(static_cast<double>(received - back) / 1000.0);
    } else {
      std::printf("session %d: no setup command after the console came back\n", i);
    }
  }
  ForgetConsoleSessionOfTestBuild();
  faults.Close();

  // 7. CPU in each failure mode the simulated controller can play, and a write the driver holds
  //    against the console leaving (the test build).
  if (cpuSeconds > 0) {
    EndAllOstinel();
    SetConsoleSessionOfTestBuild(mine);
    SimSetIdle(*sim, false, 0);
    SimSetHoldCommands(*sim, false);
    LaunchedProcess probe = Launch(SiblingProgram(L"OstinelFaults.exe"));
    const int connections = SimConnectionCount(*sim);
    HWND probeMain = nullptr;
    HWND probeButton = nullptr;
    if (!WaitUntil([&] { return SimConnectionCount(*sim) > connections && SimIsConnected(*sim); }, 10000) ||
        !(probeMain = FindProcessWindow(probe.Pid(), MAIN_WINDOW_CLASS, nullptr)) ||
        !(probeButton = FindFunctionButton(probe.Pid()))) {
      std::printf("the test build did not connect: CPU figures skipped\n");
    } else {
      const DWORD pid = probe.Pid();
      Sleep(1000);
      std::printf("\n");
      MeasureCpu("reads held (idle)", pid, cpuSeconds, [] {});
      SimSetIdle(*sim, true, 1);
      MeasureCpu("reads completed at once with nothing", pid, cpuSeconds, [] {});
      SimSetIdle(*sim, false, 0);
      SimSetHoldCommands(*sim, true);
      PostMessageW(probeButton, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
      MeasureCpu("a write held by the driver", pid, cpuSeconds, [] {});
      // Each touch lets the held command through; the next toggle is held again behind the read.
      MeasureCpu("writes held behind the read, a touch/s", pid, cpuSeconds, [&, tick = 0]() mutable {
        if (++tick % 100 == 0) {
          SimSendEvent(*sim, 0);
          PostMessageW(probeButton, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
        }
      });
      // A held write against the console leaving: time until the controller saw the connection end.
      std::vector<double> heldRelease;
      for (int i = 0; i < sessions; ++i) {
        if (!WaitUntil([&] { return SimIsConnected(*sim); }, 5000)) break;
        Sleep(200);
        PostMessageW(probeButton, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
        Sleep(200);  // the command is written and held
        SetConsoleSessionOfTestBuild(mine + 1);
        const std::uint64_t away = SimNowMicros();
        PostMessageW(probeMain, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, mine);
        if (WaitUntil([&] { return !SimIsConnected(*sim); }, 3000)) {
          heldRelease.push_back(static_cast<double>(connectionTimes.LastDisconnectMicros.load() - away) / 1000.0);
        } else {
          std::printf("held write %d: the controller was not let go\n", i);
        }
        SetConsoleSessionOfTestBuild(mine);
        PostMessageW(probeMain, WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, mine);
        SimSendEvent(*sim, 0);
      }
      SimSetHoldCommands(*sim, false);
      // The controller drops every connection as soon as it is made: a loss and a retry each time.
      MeasureCpu("connection dropped at once, each time", pid, cpuSeconds, [&] {
        if (SimIsConnected(*sim)) SimDisconnect(*sim);
      });
      SimUnplug(*sim);
      MeasureCpu("no controller (discovery fails)", pid, cpuSeconds, [] {});
      SimPlug(*sim);
      std::printf("\n");
      PrintFigures("held write, console away -> let go", heldRelease, sessions);
    }
    probe.Close();
    ForgetConsoleSessionOfTestBuild();
  }

  std::printf("\n");
  PrintFigures("event -> indicator", toIndicator, indicator ? events : 0);
  PrintFigures("event -> 01 00 command", toCommand, button ? events : 0);
  PrintFigures("click -> command (held)", held.Click, commands);
  PrintFigures("OK -> setup (held)", held.Ok, commands);
  PrintFigures("click -> command (idle)", idle.Click, commands);
  PrintFigures("OK -> setup (idle)", idle.Ok, commands);
  PrintFigures("plug -> reconnect", reconnectMs, cycles);
  std::printf("%-24s reconnects %d/%d, pending commands delivered %d/%d, wrong state %d\n", "unplug/replug cycles",
              reconnects, cycles, delivered, button ? cycles : 0, wrongState);
  PrintFigures("WM_CLOSE -> exited", closeToExit, closes);
  PrintFigures("WM_CLOSE -> let go", closeToRelease, closes);
  std::printf("%-24s %d/%d\n", "exit code 0", exitZero, closes);
  PrintFigures("console away -> let go", sessionRelease, sessions);
  PrintFigures("console back -> setup", sessionReconnect, sessions);
  EndAllOstinel();
  return 0;
}
