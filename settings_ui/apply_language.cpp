#include "settings_ui/apply_language.h"

#include <windows.h>

#include "win/win_handles.h"
#include "core/app_state.h"
#include "res/resource_ids.h"
#include "settings_ui/interface_language.h"

void DetectLanguage() {
  // A failed query leaves LineScratch empty, which means English.
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, AppState.LineScratch.data(),
                 static_cast<int>(AppState.LineScratch.size()));
  AppState.LanguageMode = LanguageModeFromAbbreviation(AppState.LineScratch.data());
}

void ApplyLanguage() {
  if (AppState.LanguageMode != LANGUAGE_SIMPLIFIED_CHINESE && AppState.LanguageMode != LANGUAGE_ENGLISH) return;
  const LanguageTexts* texts = TextsForLanguage(AppState.LanguageMode);
  HWND dialog = AsWindow(AppState.SettingsDialog);
  SetWindowTextW(dialog, texts->SettingsTitle);
  for (const ControlTextEntry& control : texts->SettingsControls) SetDlgItemTextW(dialog, control.Id, control.Text);
  ApplyLanguageToState(AppState);
  SetDlgItemTextW(AsWindow(AppState.StatusWindow), IDC_STATUS_BUTTON, texts->StatusButton);
}
