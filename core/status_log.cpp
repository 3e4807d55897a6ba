#include "core/status_log.h"

#include <cstdarg>

#include "core/bounded_text.h"

void LogLine(AppStateRecord& state, const wchar_t* format, ...) {
  state.LineScratch[0] = L'\0';
  std::va_list args;
  va_start(args, format);
  FormatBoundedV(state.LineScratch, format, args);
  va_end(args);
  AppendBounded(state.LogText, state.LineScratch.data());
}

void HandLogLine(AppStateRecord& state, const wchar_t* line) {
  {
    std::lock_guard<std::mutex> hold(state.HandedLogLock);
    AppendBounded(state.HandedLog, line);
    state.HandedLogPending.store(1, std::memory_order_release);
  }
  if (auto wake = state.WakeDeviceThread.load(std::memory_order_acquire)) wake();
}

bool TakeHandedLog(AppStateRecord& state) {
  if (state.HandedLogPending.exchange(0, std::memory_order_acq_rel) == 0) return false;
  std::lock_guard<std::mutex> hold(state.HandedLogLock);
  AppendBounded(state.LogText, state.HandedLog.data());
  state.HandedLog[0] = L'\0';
  return true;
}

void ClearLogText(AppStateRecord& state) { state.LogText[0] = L'\0'; }
