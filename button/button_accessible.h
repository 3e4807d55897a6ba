// What screen readers learn about the function button (Active Accessibility): its name, a push
// button's role, pressed while armed, its state in words as its value, and a default action that
// arms it, in the interface language. Everything runs on the button's (UI) thread.
#pragma once

#include <windows.h>

// Answers WM_GETOBJECT for the client area (0, the system's answer, for any other object or when
// the hand-over fails). The accessibility libraries are loaded only when a client first asks.
LRESULT ButtonAccessibleObject(HWND window, WPARAM wParam, LPARAM lParam);

// Tells listening screen readers that the button's state changed.
void AnnounceButtonState(HWND window);
