// The settings dialog: a modeless dialog, created hidden at start-up, that edits ButtonSetup and
// WaitTime. Another process opens it through the main window (WM_USER+1).
#pragma once

#include <windows.h>

// Creates the dialog (hidden) from its template, owned by owner. Its initialisation loads the
// stored settings and queues the setup command for the controller.
HWND CreateSettingsDialog(HINSTANCE instance, HWND owner);

// Stored settings into the controls and AppState; shows or hides the function button.
void LoadSettings(HWND dialog);

// Stored hold time into AppState, the slider and the value label.
void LoadWaitTime(HWND dialog);

// SliderWaitTime and UnitText into the value label.
void ShowWaitTimeLabel(HWND dialog);

// OK: stores the controls' settings and puts them in force.
void ApplySettings(HWND dialog);

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
