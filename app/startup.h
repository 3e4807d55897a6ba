// Program start-up: every window in a fixed order, the single-instance rule and the threads.
#pragma once

#include <windows.h>

// Runs the instance start-up. False only when the main window could not be created; every later
// failure is shown in the status window (the failure tail) and still returns true.
bool StartInstance(HINSTANCE instance);

// The hidden main window's procedure: WM_USER+1 from another process opens the settings.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the main window's class under the name in AppState.ClassName.
ATOM RegisterMainWindowClass(HINSTANCE instance);
