// HookBench.exe: figures of the low-level mouse hook, in this process under Wine (not a test; it
// prints figures).
//
//   HookBench.exe [--calls N] [--moves N] [--holds N]
//
// 1. The hook's own time per event: MouseHookProc called directly with a move, N times, and with a
//    negative code (nothing recorded, the event only passed on), N times.
// 2. Moves made with SendInput from another thread while the hook runs on its own thread and this
//    (the window) thread waits for messages: the time SendInput takes, and until the hook recorded
//    the move.
// 3. The same while this thread is held (Sleep) for 1 s at a time, as the removal hand-over may
//    hold the program's window thread: the time SendInput takes.
// 4. For comparison, the hook set on this thread, as it was before it had its own: SendInput made
//    while this thread is held for 1 s.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "core/app_state.h"
#include "feedback/mouse_hook.h"

namespace {

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c{};
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1000.0 / frequency;
}

void PrintFigures(const char* name, std::vector<double> ms, int attempts) {
  if (ms.empty()) {
    std::printf("%-44s no samples (%d attempts)\n", name, attempts);
    return;
  }
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * (ms.size() - 1) + 0.5))]; };
  std::printf("%-44s n=%zu/%d  min %.3f  p50 %.3f  p90 %.3f  p99 %.3f  max %.3f ms\n", name, ms.size(), attempts,
              ms.front(), at(0.50), at(0.90), at(0.99), ms.back());
}

INPUT MoveTo(POINT at) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  const long long w = GetSystemMetrics(SM_CXSCREEN);
  const long long h = GetSystemMetrics(SM_CYSCREEN);
  input.mi.dx = static_cast<LONG>((at.x * 65536LL + w - 1) / w);
  input.mi.dy = static_cast<LONG>((at.y * 65536LL + h - 1) / h);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  return input;
}

// The n-th point of a walk over the screen that never repeats the previous point.
POINT WalkPoint(int n) { return POINT{100 + (n * 37) % 800, 100 + (n * 23) % 500}; }

// Moves made by a thread of their own, while the window thread does whatever the phase asks.
struct Sender {
  int moves = 0;
  DWORD pauseMs = 0;
  bool waitForHook = false;
  std::vector<double> sendMs, recordedMs;
  std::atomic<bool> done{false};
};

DWORD WINAPI SendMoves(void* param) {
  auto* sender = static_cast<Sender*>(param);
  for (int n = 0; n < sender->moves; ++n) {
    const POINT at = WalkPoint(n);
    INPUT move = MoveTo(at);
    const double start = NowMs();
    SendInput(1, &move, sizeof(INPUT));
    const double sent = NowMs();
    sender->sendMs.push_back(sent - start);
    if (sender->waitForHook) {
      const std::uint64_t wanted = PointerWord(at.x, at.y);
      while (AppState.Pointer.load(std::memory_order_relaxed) != wanted && NowMs() - start < 2000) SwitchToThread();
      if (AppState.Pointer.load(std::memory_order_relaxed) == wanted) sender->recordedMs.push_back(NowMs() - start);
    }
    if (sender->pauseMs) Sleep(sender->pauseMs);
  }
  sender->done = true;
  return 0;
}

// Runs the sender while this thread either dispatches its messages or is held for holdMs at a time.
void RunSender(Sender& sender, DWORD holdMs) {
  HANDLE thread = CreateThread(nullptr, 0, SendMoves, &sender, 0, nullptr);
  if (!thread) return;
  while (!sender.done) {
    if (holdMs) {
      Sleep(holdMs);
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    MsgWaitForMultipleObjects(1, &thread, FALSE, holdMs ? 0 : 50, QS_ALLINPUT);
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

int Argument(int argc, wchar_t** argv, const wchar_t* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wcscmp(argv[i], name) == 0) return _wtoi(argv[i + 1]);
  }
  return fallback;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int calls = Argument(argc, argv, L"--calls", 100000);
  const int moves = Argument(argc, argv, L"--moves", 300);
  const int holds = Argument(argc, argv, L"--holds", 5);

  // 1. The hook's own time, with its thread running (the next hook in the chain is the system's).
  if (const DWORD error = StartMouseHookThread(); error != ERROR_SUCCESS) {
    std::printf("the hook's thread did not start: %lu\n", error);
    return 1;
  }
  // Whole calls, and calls with a negative code, which record nothing and only pass the event on:
  // the difference is what the hook itself does. Rounds of the two alternate, so both see the same
  // load of the machine.
  constexpr int kRounds = 10;
  std::vector<double> whole, passOnly;
  MSLLHOOKSTRUCT event{};
  for (int round = 0; round < 2 * kRounds; ++round) {
    const int code = round % 2 == 0 ? HC_ACTION : -1;
    const double start = NowMs();
    for (int n = 0; n < calls / kRounds; ++n) {
      event.pt = POINT{n & 1023, 300};
      MouseHookProc(code, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&event));
    }
    (code == HC_ACTION ? whole : passOnly).push_back((NowMs() - start) * 1e6 / (calls / kRounds));
  }
  std::sort(whole.begin(), whole.end());
  std::sort(passOnly.begin(), passOnly.end());
  std::printf("%-44s min %.0f  median %.0f ns per call (%d rounds of %d)\n", "hook, a move recorded", whole.front(),
              whole[kRounds / 2], kRounds, calls / kRounds);
  std::printf("%-44s min %.0f  median %.0f ns per call\n", "hook, only passed on (CallNextHookEx)",
              passOnly.front(), passOnly[kRounds / 2]);
  std::printf("%-44s %.0f ns (difference of the minimums)\n", "recording a move", whole.front() - passOnly.front());

  // 2. Window thread free.
  Sender idle;
  idle.moves = moves;
  idle.waitForHook = true;
  RunSender(idle, 0);
  PrintFigures("own thread, window thread free: SendInput", idle.sendMs, moves);
  PrintFigures("own thread, window thread free: recorded", idle.recordedMs, moves);

  // 3. Window thread held 1 s at a time.
  Sender held;
  held.moves = holds * 50;
  held.pauseMs = 20;
  held.waitForHook = true;
  RunSender(held, 1000);
  PrintFigures("own thread, window thread held: SendInput", held.sendMs, holds * 50);
  PrintFigures("own thread, window thread held: recorded", held.recordedMs, holds * 50);
  StopMouseHookThread(2000);

  // 4. The hook on the held thread.
  HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, MouseHookProc, GetModuleHandleW(nullptr), 0);
  if (!hook) {
    std::printf("the hook could not be set on the window thread: %lu\n", GetLastError());
    return 1;
  }
  Sender before;
  before.moves = holds;
  before.pauseMs = 300;
  RunSender(before, 1000);
  UnhookWindowsHookEx(hook);
  PrintFigures("hook on the held window thread: SendInput", before.sendMs, holds);
  return 0;
}
