// The settings dialog at the keyboard. The message loop passes the dialog's messages through the
// dialog manager (IsDialogMessage), so Tab and Shift+Tab move through the controls in template
// order, the arrow keys move within the right-click method's radio buttons and the slider, Space
// toggles, Enter is OK and Esc is Cancel. The method's three radio buttons are one stop of the tab
// order, the chosen one (a radio button keeps WS_TABSTOP only while checked), and since automatic
// radio buttons check themselves when they get the focus, the dialog never puts the focus on one
// that is not chosen. The focus shows.
#pragma once

#include <windows.h>

// From the dialog's initialisation: the method's radio buttons end their group (the template
// starts no group after them), so the arrow keys go round the three.
void PrepareSettingsKeys(HWND dialog);

// WM_ACTIVATE: on leaving, the focused control is kept; on coming back it gets the focus again,
// unless it can no longer take it (hidden, greyed, a method button not chosen), in which case the
// first control does. True when the focus was set (the dialog manager's own restoring is skipped).
bool KeepSettingsFocus(HWND dialog, WPARAM activation);

// The dialog was opened: when it is the active window (this never makes it active), its first
// control gets the focus, and focus rectangles show.
void FocusFirstSettingsControl(HWND dialog);
