// Program start-up: every window in a fixed order, the single-instance rule and the threads.
#pragma once

#include <windows.h>

// Session 0 is where services run: no user sees its windows, and a copy there would count as
// running for the user's. A copy started there writes an event that says why and who started it,
// and the entry ends at once (true); false everywhere else.
bool EndInServicesSession();

// Runs the instance start-up. False only when the main window could not be created; every later
// failure is shown in the status window (the failure tail) and still returns true.
bool StartInstance(HINSTANCE instance);

// The hidden main window's procedure: WM_USER+1 from another process opens the settings.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the main window's class under the name in AppState.ClassName.
ATOM RegisterMainWindowClass(HINSTANCE instance);
