// The spinning right-click indicator around the pointer.
#pragma once

#include <windows.h>

// Creates the (hidden, layered) indicator window owned by the main window; stores AppState.IndicatorWindow.
void CreateIndicatorWindow();

// Any thread (the device thread calls it for every right-click event): places the indicator on
// the pointer and starts one turn. Returns at once; the work happens on the UI thread.
void ShowIndicator();
