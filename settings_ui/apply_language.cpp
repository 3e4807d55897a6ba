#include "settings_ui/apply_language.h"

#include <windows.h>

#include "win/win_handles.h"
#include "core/app_state.h"
#include "res/resource_ids.h"
#include "settings_ui/dialog_fit.h"
#include "language/interface_language.h"
#include "language/system_language.h"

void DetectLanguage() { AppState.LanguageMode = SystemLanguageMode(); }

void ApplyLanguage() {
  HWND dialog = AsWindow(AppState.SettingsDialog);
  HWND status = AsWindow(AppState.StatusWindow);
  const InterfaceLanguage* language = LanguageOfMode(AppState.LanguageMode);
  if (language && !language->InDialogResources) {
    const LanguageTexts* texts = language->Texts;
    SetWindowTextW(dialog, texts->SettingsTitle);
    for (const ControlTextEntry& control : texts->SettingsControls) SetDlgItemTextW(dialog, control.Id, control.Text);
    ApplyLanguageToState(AppState);
    SetDlgItemTextW(status, IDC_STATUS_BUTTON, texts->StatusButton);
  }
  // Every language's texts get their whole width at the windows' scale.
  FitDialogTexts(dialog);
  FitDialogTexts(status);
}
