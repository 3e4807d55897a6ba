// OstinelPerf.exe: system figures of the real Ostinel.exe, each next to the same figure of
// MinimalDialog.exe (a Win32 program that only shows a small dialog), measured in one run under the
// same conditions. Run under Wine by bench/system.sh; it prints figures, it is not a test.
//
//   OstinelPerf.exe [--starts N] [--idle-seconds S] [--idle-interval MS] [--flood N] [--markdown FILE]
//
// 1. Start: from CreateProcess to the status window (or the reference dialog) being visible.
// 2. Idle CPU while connected, with a driver that holds reads until a touch and with one that
//    completes idle reads with a 0 byte every --idle-interval ms.
// 3. Size of the executables and private memory after start and after the flood.
// 4. Event flood: N event bytes (left and right clicks) with the indicator running; the main window
//    is probed with WM_NULL every 50 ms throughout, and the time until the flood is drained is taken.
//
// Process CPU time and private memory of another process: GetProcessTimes and GetProcessMemoryInfo
// are asked too, but Wine 8 answers the first with the caller's own times and leaves PrivateUsage
// of the second at 0, so the figures come from NtQuerySystemInformation(SystemProcessInformation)
// and NtQueryInformationProcess(ProcessVmCounters), which Wine fills from /proc.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "device/device_protocol.h"
#include "e2e/e2e_support.h"
#include "bench/windows/process_cpu.h"
#include "tools/sim_controller/sim_controller.h"

#if defined(__GNUC__)
#define PERF_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PERF_PRINTF_LIKE(fmt, args)
#endif

namespace {

constexpr wchar_t kMinimalTitle[] = L"Minimal dialog";
constexpr DWORD kProbeIntervalMs = 50;
constexpr UINT kProbeTimeoutMs = 100;

// The report: printed as it grows, and kept for the markdown file.
std::string Report;

void Out(const char* format, ...) PERF_PRINTF_LIKE(1, 2);
void Out(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fputs(line, stdout);
  std::fflush(stdout);
  Report += line;
}

// Progress lines: printed only.
void Note(const char* format, ...) PERF_PRINTF_LIKE(1, 2);
void Note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

double NowMs() {
  static const double perMs = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER c{};
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perMs;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double Ratio(double a, double b) { return b > 0.0 ? a / b : 0.0; }

// VM_COUNTERS_EX, as ProcessVmCounters fills it.
struct VmCountersEx {
  SIZE_T PeakVirtualSize;
  SIZE_T VirtualSize;
  ULONG PageFaultCount;
  SIZE_T PeakWorkingSetSize;
  SIZE_T WorkingSetSize;
  SIZE_T QuotaPeakPagedPoolUsage;
  SIZE_T QuotaPagedPoolUsage;
  SIZE_T QuotaPeakNonPagedPoolUsage;
  SIZE_T QuotaNonPagedPoolUsage;
  SIZE_T PagefileUsage;
  SIZE_T PeakPagefileUsage;
  SIZE_T PrivateUsage;
};
constexpr auto kProcessVmCounters = static_cast<PROCESSINFOCLASS>(3);

struct CpuSample {
  double Seconds = 0.0;                 // user + kernel, from the system's process list
  double GetProcessTimesSeconds = 0.0;  // user + kernel, from GetProcessTimes
};

CpuSample CpuOf(const LaunchedProcess& process) {
  CpuSample sample;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (GetProcessTimes(process.info.hProcess, &created, &exited, &kernel, &user)) {
    sample.GetProcessTimesSeconds = FileTimeSeconds(kernel) + FileTimeSeconds(user);
  }
  const double seconds = ProcessCpuSeconds(process.Pid());
  if (seconds >= 0.0) sample.Seconds = seconds;
  return sample;
}

struct MemorySample {
  double PrivateKb = 0.0;
  double WorkingSetKb = 0.0;
};

MemorySample MemoryOf(const LaunchedProcess& process) {
  MemorySample sample;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process.info.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    sample.PrivateKb = static_cast<double>(counters.PrivateUsage) / 1024.0;
    sample.WorkingSetKb = static_cast<double>(counters.WorkingSetSize) / 1024.0;
  }
  if (sample.PrivateKb == 0.0) {
    VmCountersEx vm{};
    ULONG length = 0;
    if (NtQueryInformationProcess(process.info.hProcess, kProcessVmCounters, &vm, sizeof vm, &length) >= 0 &&
        length >= sizeof vm) {
      sample.PrivateKb = static_cast<double>(vm.PrivateUsage) / 1024.0;
    }
  }
  return sample;
}

unsigned long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool VisibleWindowOf(DWORD pid, const wchar_t* title) {
  HWND window = FindProcessWindow(pid, kDialogClass, title);
  return window && IsWindowVisible(window);
}

// Starts a program and times CreateProcess until its first top-level window exists and until its
// window titled `title` is visible, polling every millisecond. Once that window exists only its
// visibility is polled, to keep the load the polling puts on the Wine server small. -1: not
// within 15 s.
struct StartTimes {
  double FirstWindow = -1.0;
  double Shown = -1.0;
};

StartTimes TimeStart(const std::wstring& path, const wchar_t* title, LaunchedProcess* out) {
  const double start = NowMs();
  LaunchedProcess process = Launch(path);
  StartTimes times;
  HWND window = nullptr;
  while (NowMs() - start < 15000.0) {
    if (!window) {
      if (times.FirstWindow < 0 && FindProcessWindow(process.Pid(), nullptr, nullptr)) {
        times.FirstWindow = NowMs() - start;
      }
      if (times.FirstWindow >= 0) window = FindProcessWindow(process.Pid(), kDialogClass, title);
    }
    if (window && IsWindowVisible(window)) {
      times.Shown = NowMs() - start;
      break;
    }
    Sleep(1);
  }
  *out = std::move(process);
  return times;
}

// Each start is left to finish its start-up before it is ended, and the system to settle before
// the next one: a start measured while the previous program is still being torn down is slower.
void EndProgram(LaunchedProcess& process) {
  Sleep(1500);
  process.Close();
  EndAllOstinel();
  Sleep(700);
}

struct StartFigures {
  std::vector<double> Ostinel;
  std::vector<double> Minimal;
  std::vector<double> OstinelFirstWindow;
  std::vector<double> MinimalFirstWindow;
};

StartFigures MeasureStarts(int starts) {
  StartFigures figures;
  const std::wstring ostinel = SiblingProgram(L"Ostinel.exe");
  const std::wstring minimal = SiblingProgram(L"MinimalDialog.exe");
  // One start of each first, not counted: it brings the files and Wine's libraries into the cache.
  for (int i = -1; i < starts; ++i) {
    LaunchedProcess process;
    const StartTimes a = TimeStart(ostinel, kStatusTitle, &process);
    EndProgram(process);
    const StartTimes b = TimeStart(minimal, kMinimalTitle, &process);
    EndProgram(process);
    Note("start %d: Ostinel %.1f ms (first window %.1f), MinimalDialog %.1f ms (first window %.1f)\n", i + 1,
         a.Shown, a.FirstWindow, b.Shown, b.FirstWindow);
    if (i < 0) continue;
    if (a.Shown >= 0) {
      figures.Ostinel.push_back(a.Shown);
      figures.OstinelFirstWindow.push_back(a.FirstWindow);
    }
    if (b.Shown >= 0) {
      figures.Minimal.push_back(b.Shown);
      figures.MinimalFirstWindow.push_back(b.FirstWindow);
    }
  }
  return figures;
}

struct IdleFigures {
  double OstinelSeconds = 0.0;
  double MinimalSeconds = 0.0;
  double OstinelGetProcessTimes = 0.0;
  double MinimalGetProcessTimes = 0.0;
};

IdleFigures MeasureIdle(const LaunchedProcess& app, const LaunchedProcess& minimal, int seconds) {
  const CpuSample a0 = CpuOf(app), b0 = CpuOf(minimal);
  Sleep(static_cast<DWORD>(seconds) * 1000);
  const CpuSample a1 = CpuOf(app), b1 = CpuOf(minimal);
  IdleFigures f;
  f.OstinelSeconds = a1.Seconds - a0.Seconds;
  f.MinimalSeconds = b1.Seconds - b0.Seconds;
  f.OstinelGetProcessTimes = a1.GetProcessTimesSeconds - a0.GetProcessTimesSeconds;
  f.MinimalGetProcessTimes = b1.GetProcessTimesSeconds - b0.GetProcessTimesSeconds;
  return f;
}

// The main window is asked WM_NULL every 50 ms with a plain 100 ms timeout while the flood lasts.
struct ProbeFigures {
  std::atomic<bool> Stop{false};
  int Answered = 0;
  int Missed = 0;
  int IndicatorVisible = 0;
  int Dead = 0;
  std::vector<double> AnswerMs;
};

void ProbeLoop(HWND main, HWND indicator, const LaunchedProcess* app, ProbeFigures* figures) {
  double next = NowMs();
  while (!figures->Stop.load()) {
    DWORD_PTR result = 0;
    const double t = NowMs();
    if (SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kProbeTimeoutMs, &result)) {
      ++figures->Answered;
      figures->AnswerMs.push_back(NowMs() - t);
    } else {
      ++figures->Missed;
    }
    if (indicator && IsWindowVisible(indicator)) ++figures->IndicatorVisible;
    if (!app->Running()) ++figures->Dead;
    next += kProbeIntervalMs;
    const double wait = next - NowMs();
    if (wait > 0) Sleep(static_cast<DWORD>(wait));
  }
}

struct FloodFigures {
  int Left = 0;
  int Right = 0;
  int WriteFailures = 0;
  double WrittenMs = 0.0;
  double DrainedMs = 0.0;  // from the first byte written until the program had read the last
  bool DrainSeen = false;
  double CpuSeconds = 0.0;
};

// Writes the flood, then finds when the program has read its last byte: the controller's pipe is
// flushed, which returns once the program has read everything written to it.
FloodFigures RunFlood(SimController& sim, const LaunchedProcess& app, int count) {
  FloodFigures f;
  const CpuSample cpu0 = CpuOf(app);
  const double start = NowMs();
  unsigned state = 12345;
  for (int i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    const bool right = ((state >> 16) & 1) != 0;
    (right ? f.Right : f.Left)++;
    if (!SimSendEvent(sim, right ? EVENT_RIGHT_CLICK : EVENT_LEFT_CLICK)) ++f.WriteFailures;
    if ((i + 1) % 2000 == 0) Note("flood: %d bytes written after %.1f s\n", i + 1, (NowMs() - start) / 1000.0);
  }
  f.WrittenMs = NowMs() - start;

  std::uint64_t drainedMicros = 0;
  const std::uint64_t startMicros = SimNowMicros() - static_cast<std::uint64_t>((NowMs() - start) * 1000.0);
  if (SimWaitDrained(sim, &drainedMicros)) {
    f.DrainedMs = static_cast<double>(drainedMicros - startMicros) / 1000.0;
    f.DrainSeen = true;
  }
  f.CpuSeconds = CpuOf(app).Seconds - cpu0.Seconds;
  return f;
}

void WriteMarkdown(const wchar_t* path) {
  FILE* file = _wfopen(path, L"wb");
  if (!file) {
    Note("cannot write %ls\n", path);
    return;
  }
  std::fwrite(Report.data(), 1, Report.size(), file);
  std::fclose(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int starts = 10;
  int idleSeconds = 60;
  int idleInterval = 50;
  int floodCount = 10000;
  const wchar_t* markdown = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::wcscmp(argv[i], L"--starts") == 0) starts = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--idle-seconds") == 0) idleSeconds = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--idle-interval") == 0) idleInterval = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--flood") == 0) floodCount = _wtoi(argv[i + 1]);
    if (std::wcscmp(argv[i], L"--markdown") == 0) markdown = argv[i + 1];
  }

  EndAllOstinel();
  DeleteSettingsKey();  // the program's defaults: sounds, indicator, hold still; once-only off
  SimOptions options;
  options.PipeName = L"ostinel-perf";
  std::uint32_t error = 0;
  UniqueSim sim = StartSim(options, &error);
  if (!sim) {
    std::printf("simulated controller did not start: 0x%08X\n", error);
    return 1;
  }

  // 1. Start time.
  const StartFigures startFigures = MeasureStarts(starts);
  const double ostinelStart = Median(startFigures.Ostinel);
  const double minimalStart = Median(startFigures.Minimal);
  auto range = [](const std::vector<double>& v) {
    return v.empty() ? std::make_pair(0.0, 0.0)
                     : std::make_pair(*std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
  };
  Out("### Start to status window shown\n\n");
  Out("From CreateProcess until the program's first window is visible (polled every 1 ms), controller "
      "plugged; median of %d starts each after one uncounted start, the two programs alternating.\n\n",
      starts);
  Out("| Program | Median | Min | Max | Starts |\n|---|---|---|---|---|\n");
  Out("| Ostinel.exe (status window) | %.1f ms | %.1f ms | %.1f ms | %d |\n", ostinelStart,
      range(startFigures.Ostinel).first, range(startFigures.Ostinel).second,
      static_cast<int>(startFigures.Ostinel.size()));
  Out("| MinimalDialog.exe (its dialog) | %.1f ms | %.1f ms | %.1f ms | %d |\n", minimalStart,
      range(startFigures.Minimal).first, range(startFigures.Minimal).second,
      static_cast<int>(startFigures.Minimal.size()));
  Out("\nRatio Ostinel / minimal: **%.2f**\n\n", Ratio(ostinelStart, minimalStart));
  Out("The first top-level window of the process (Ostinel's hidden main window, the minimal "
      "program's dialog) existed after a median of %.1f ms and %.1f ms.\n\n",
      Median(startFigures.OstinelFirstWindow), Median(startFigures.MinimalFirstWindow));

  // 2. Idle CPU, both programs running side by side, Ostinel connected and left alone.
  LaunchedProcess app = LaunchOstinel();
  LaunchedProcess minimal = Launch(SiblingProgram(L"MinimalDialog.exe"));
  const bool connected = WaitUntil([&] { return SimIsConnected(*sim); }, 10000);
  HWND status = WaitForStatusWindow(app.Pid());
  const bool hidden = status && WaitUntil([&] { return !IsWindowVisible(status); }, 5000);
  WaitUntil([&] { return VisibleWindowOf(minimal.Pid(), kMinimalTitle); }, 10000);
  if (!connected || !hidden) {
    std::printf("Ostinel did not connect (connected %d, status hidden %d)\n", connected, hidden);
    return 1;
  }
  Sleep(2000);
  const MemorySample ostinelMemStart = MemoryOf(app);
  const MemorySample minimalMemStart = MemoryOf(minimal);
  Note("idle CPU, held reads: %d s\n", idleSeconds);
  const IdleFigures held = MeasureIdle(app, minimal, idleSeconds);
  SimSetIdle(*sim, true, static_cast<DWORD>(idleInterval));
  Sleep(1000);
  Note("idle CPU, idle reads every %d ms: %d s\n", idleInterval, idleSeconds);
  const IdleFigures completed = MeasureIdle(app, minimal, idleSeconds);
  SimSetIdle(*sim, false, 0);
  Sleep(500);

  Out("### Idle CPU while connected\n\n");
  Out("Both programs running side by side for the same %d s, Ostinel connected to the simulated "
      "controller and sent no events. CPU time is user plus kernel time of the process, counted in "
      "10 ms ticks.\n\n",
      idleSeconds);
  Out("| Driver behaviour | Ostinel.exe | MinimalDialog.exe | Ratio |\n|---|---|---|---|\n");
  // Process times come in 10 ms ticks: a zero means less than one tick.
  auto cpuText = [&](double seconds, char* text, std::size_t size) {
    if (seconds < 0.005) {
      std::snprintf(text, size, "< 10 ms (< %.3f%%)", 1.0 / idleSeconds);
    } else {
      std::snprintf(text, size, "%.0f ms (%.3f%% of a core)", seconds * 1000.0, seconds * 100.0 / idleSeconds);
    }
  };
  auto idleRow = [&](const char* mode, const IdleFigures& f) {
    char a[64], b[64], ratio[32];
    cpuText(f.OstinelSeconds, a, sizeof a);
    cpuText(f.MinimalSeconds, b, sizeof b);
    if (f.OstinelSeconds < 0.005 && f.MinimalSeconds < 0.005) {
      std::snprintf(ratio, sizeof ratio, "both below a tick");
    } else if (f.MinimalSeconds < 0.005) {
      std::snprintf(ratio, sizeof ratio, "> %.0f", f.OstinelSeconds / 0.01);
    } else {
      std::snprintf(ratio, sizeof ratio, "%.1f", Ratio(f.OstinelSeconds, f.MinimalSeconds));
    }
    Out("| %s | %s | %s | %s |\n", mode, a, b, ratio);
  };
  idleRow("reads held until a touch", held);
  char completedMode[96];
  std::snprintf(completedMode, sizeof completedMode, "idle reads completed with a 0 byte every %d ms",
                idleInterval);
  idleRow(completedMode, completed);
  Out("\nGetProcessTimes over the same windows reported %.0f / %.0f ms (held) and %.0f / %.0f ms "
      "(completed) for Ostinel / minimal: under Wine these are the harness's own times (see the notes); "
      "the table uses the system's process list (NtQuerySystemInformation).\n\n",
      held.OstinelGetProcessTimes * 1000.0, held.MinimalGetProcessTimes * 1000.0,
      completed.OstinelGetProcessTimes * 1000.0, completed.MinimalGetProcessTimes * 1000.0);

  // 3 and 4. The flood, then memory after it.
  HWND main = FindWindowW(MAIN_WINDOW_CLASS, nullptr);
  HWND indicator = FindIndicatorWindow(app.Pid());
  SendPointerMove(400, 300);
  Sleep(200);
  const MemorySample ostinelMemBeforeFlood = MemoryOf(app);
  Note("flood of %d bytes\n", floodCount);
  ProbeFigures probes;
  std::thread prober(ProbeLoop, main, indicator, &app, &probes);
  const FloodFigures flood = RunFlood(*sim, app, floodCount);
  probes.Stop.store(true);
  prober.join();
  Sleep(1000);
  DWORD_PTR ignored = 0;
  const bool answersAfter = SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) != 0;
  const bool alive = app.Running();
  const MemorySample ostinelMemAfterFlood = MemoryOf(app);
  const MemorySample minimalMemEnd = MemoryOf(minimal);

  const std::wstring ostinelPath = SiblingProgram(L"Ostinel.exe");
  const std::wstring minimalPath = SiblingProgram(L"MinimalDialog.exe");
  const double ostinelSize = static_cast<double>(FileSize(ostinelPath));
  const double minimalSize = static_cast<double>(FileSize(minimalPath));
  Out("### Size and memory\n\n");
  Out("| | Ostinel.exe | MinimalDialog.exe | Ratio |\n|---|---|---|---|\n");
  Out("| Executable size | %.0f bytes | %.0f bytes | %.1f |\n", ostinelSize, minimalSize, Ratio(ostinelSize, minimalSize));
  Out("| Private memory after start | %.0f KiB | %.0f KiB | %.2f |\n", ostinelMemStart.PrivateKb,
      minimalMemStart.PrivateKb, Ratio(ostinelMemStart.PrivateKb, minimalMemStart.PrivateKb));
  Out("| Private memory before the flood (after the idle minutes) | %.0f KiB | | |\n", ostinelMemBeforeFlood.PrivateKb);
  Out("| Private memory after the flood | %.0f KiB | %.0f KiB (same moment) | %.2f |\n",
      ostinelMemAfterFlood.PrivateKb, minimalMemEnd.PrivateKb,
      Ratio(ostinelMemAfterFlood.PrivateKb, minimalMemEnd.PrivateKb));
  Out("| Working set after start | %.0f KiB | %.0f KiB | %.2f |\n", ostinelMemStart.WorkingSetKb,
      minimalMemStart.WorkingSetKb, Ratio(ostinelMemStart.WorkingSetKb, minimalMemStart.WorkingSetKb));
  Out("| Working set after the flood | %.0f KiB | %.0f KiB | %.2f |\n\n", ostinelMemAfterFlood.WorkingSetKb,
      minimalMemEnd.WorkingSetKb, Ratio(ostinelMemAfterFlood.WorkingSetKb, minimalMemEnd.WorkingSetKb));

  const double drainedS = flood.DrainedMs / 1000.0;
  Out("### Event flood\n\n");
  Out("%d event bytes (%d left clicks, %d right clicks, in random order) written by the simulated "
      "controller as fast as its pipe takes them, after a pointer move so that every right click "
      "starts the indicator; default settings (both sounds and the indicator on).\n\n",
      floodCount, flood.Left, flood.Right);
  Out("| Figure | Value |\n|---|---|\n");
  Out("| Program alive after the flood | %s |\n", alive && probes.Dead == 0 ? "yes" : "**no**");
  Out("| Bytes written / write failures | %d / %d |\n", floodCount - flood.WriteFailures, flood.WriteFailures);
  Out("| Time to write all bytes (pipe buffer 4096 bytes) | %.1f s |\n", flood.WrittenMs / 1000.0);
  if (flood.DrainSeen) {
    Out("| Time until the program had read the last byte (the controller's pipe flushed) | %.1f s |\n", drainedS);
    Out("| Events handled per second | %.1f (%.1f ms per event) |\n", floodCount / drainedS,
        flood.DrainedMs / floodCount);
  } else {
    Out("| Time until the program had read the last byte | not seen |\n");
  }
  Out("| CPU time of Ostinel during the flood | %.1f s (%.2f ms per event) |\n", flood.CpuSeconds,
      flood.CpuSeconds * 1000.0 / floodCount);
  Out("| WM_NULL probes to the main window (every 50 ms, 100 ms timeout) | %d |\n", probes.Answered + probes.Missed);
  Out("| Answered / missed | %d / %d |\n", probes.Answered, probes.Missed);
  Out("| Answer time median / max | %.2f ms / %.2f ms |\n", Median(probes.AnswerMs),
      probes.AnswerMs.empty() ? 0.0 : *std::max_element(probes.AnswerMs.begin(), probes.AnswerMs.end()));
  Out("| Probes that saw the indicator visible | %d of %d |\n", probes.IndicatorVisible,
      probes.Answered + probes.Missed);
  Out("| Main window answers 1 s after the flood | %s |\n\n", answersAfter ? "yes" : "**no**");

  if (markdown) WriteMarkdown(markdown);
  app.Close();
  minimal.Close();
  EndAllOstinel();
  return alive && answersAfter ? 0 : 2;
}
