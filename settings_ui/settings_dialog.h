// The settings dialog: a modeless dialog, created hidden at start-up, that edits ButtonSetup and
// WaitTime. Another process opens it through the main window (WM_USER+1).
#pragma once

#include <windows.h>

#include "core/policy_merge.h"

// Creates the dialog (hidden) from its template, owned by owner. Its initialisation loads the
// stored settings and queues the setup command for the controller.
HWND CreateSettingsDialog(HINSTANCE instance, HWND owner);

// Puts the stored settings, with the policies in force over them, in force (in_force/) and shows
// them in the controls.
void LoadSettings(HWND dialog);

// The hold time in force into the slider, SliderWaitTime and the value label.
void LoadWaitTime(HWND dialog);

// Greys out every control a policy decides (all of them when settings changes are not allowed)
// and shows the managed-settings note while any policy is in force.
void ShowManagedState(HWND dialog);

// The settings in force and the policies into the controls, after new policies went in force.
void ShowSettingsInForce(HWND dialog);

// SliderWaitTime and UnitText into the value label.
void ShowWaitTimeLabel(HWND dialog);

// OK: stores the controls' settings and puts them in force.
void ApplySettings(HWND dialog);

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
