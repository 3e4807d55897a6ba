// Cost of one status-log line: the device thread logs on every connection attempt.
#include <benchmark/benchmark.h>

#include "core/status_log.h"

static void BM_LogLineWithCode(benchmark::State& st) {
  static AppStateRecord s;
  for (auto _ : st) {
    ClearLogText(s);
    LogLine(s, L"Cannot open error %d\r\n", 2);
    LogLine(s, L"Could not connected to Vemto Kavrix Device\r\nThis program will be auto retry again later!");
    benchmark::DoNotOptimize(s.LogText.data());
  }
}
BENCHMARK(BM_LogLineWithCode);
