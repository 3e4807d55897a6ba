// The status log: one formatted line at a time appended to a bounded text.
#pragma once

#include "core/app_state.h"

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
