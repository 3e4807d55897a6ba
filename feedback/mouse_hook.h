// The low-level mouse hook, on a thread of its own.
//
// The system calls a low-level hook on the thread that installed it, and every mouse and touch move
// of the desktop waits for the call; a hook that is late past LowLevelHooksTimeout is removed
// without notice. So the hook has a thread that does nothing else: whatever the UI thread is busy
// with (a removal hand-over, pictures drawn for a new scale), moves pass at once. The hook hands
// what it sees over in AppState's atomic words and never waits for another thread.
#pragma once

#include <windows.h>

// Starts the hook's thread and waits until the hook is set. ERROR_SUCCESS, or the error of
// creating the thread or of SetWindowsHookExW (the thread has then ended). UI thread; once.
DWORD StartMouseHookThread();

// Removes the hook and ends its thread, waiting up to timeoutMs. True when the thread has ended
// (or never ran). UI thread.
bool StopMouseHookThread(DWORD timeoutMs);

// The hook: records the point of every move (AppState.Pointer, then PointerSeen) and passes every
// event on.
LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM event);
