// Win32 side of making room for texts (settings_ui/dialog_fit_logic.h).
#pragma once

#include <windows.h>

// Measures the text of every button and static text of the dialog in the control's own font and,
// when one does not fit, stretches the dialog and its controls across until all fit. A dialog
// whose texts all fit is left exactly as it is. Run after its texts or its scale changed.
void FitDialogTexts(HWND dialog);
