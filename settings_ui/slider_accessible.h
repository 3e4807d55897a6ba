// What screen readers learn about the settings dialog's hold-time slider (Active Accessibility):
// the system's slider object, named by the label above it and valued as the label below it shows
// the hold time ("1.0 sec"), both in the interface language. Everything runs on the UI thread.
#pragma once

#include <windows.h>

// Makes the dialog's slider answer WM_GETOBJECT for its client area with that object (called once,
// from the dialog's initialisation). The accessibility libraries are loaded only when a client
// first asks.
void AnswerForSliderToScreenReaders(HWND dialog);

// Tells listening screen readers that the slider's value changed (after the value label did).
void AnnounceSliderValue(HWND dialog);
