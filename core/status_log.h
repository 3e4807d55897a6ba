// The status log: one formatted line at a time appended to a bounded text.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <span>

#include "core/app_state.h"

// Format into dest (printf-style, wide), always terminated; output beyond the capacity is cut off.
// Use %ls for wide text: it means a wide string on every platform, unlike %s.
void FormatBounded(std::span<wchar_t> dest, const wchar_t* format, ...);
void FormatBoundedV(std::span<wchar_t> dest, const wchar_t* format, std::va_list args);

// Append text at the end of a terminated buffer; what does not fit is cut off, the buffer stays
// terminated. Returns the number of characters appended.
std::size_t AppendBounded(std::span<wchar_t> dest, const wchar_t* text);

// Format one line into state.LineScratch and append it to state.LogText. Does not touch any window.
void LogLine(AppStateRecord& state, const wchar_t* format, ...);

// Any thread but the device thread, once that thread owns the log: hands one line over and wakes
// the device thread, which appends it at its next pass. What does not fit beside lines not yet
// taken is cut off.
void HandLogLine(AppStateRecord& state, const wchar_t* line);

// Device thread: appends the lines handed over since the last call. True when there were any.
bool TakeHandedLog(AppStateRecord& state);

// Empty the log text.
void ClearLogText(AppStateRecord& state);
