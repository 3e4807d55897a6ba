// Entry point of Ostinel.exe.
#include <windows.h>

#include "app/startup.h"
#include "core/app_state.h"
#include "res/resource_ids.h"
#include "settings_ui/apply_language.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  DetectLanguage();
  LoadStringW(instance, IDS_CLASS_NAME, AppState.ClassName.data(), static_cast<int>(AppState.ClassName.size()));
  RegisterMainWindowClass(instance);
  if (!StartInstance(instance)) return 0;

  // No dialog keyboard handling: Tab, Enter and Esc have no dialog role.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return static_cast<int>(message.wParam);
}
