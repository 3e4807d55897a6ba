// Entry point of Ostinel.exe.
#include <windows.h>

#include "app/startup.h"
#include "device/device_thread.h"
#include "eventlog/event_log.h"
#include "feedback/mouse_hook.h"
#include "core/app_state.h"
#include "res/resource_ids.h"
#include "settings_ui/apply_language.h"
#include "win/system_dlls.h"
#include "win/win_handles.h"

namespace {
constexpr DWORD kDeviceStopMs = 800;
constexpr DWORD kEventLogEndMs = 700;
constexpr DWORD kHookStopMs = 200;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // First: the program runs in every user's session, and a DLL put in its folder must never load.
  LoadDllsFromSystemOnly();
  if (EndInServicesSession()) return 1;  // the event says why; nothing was started
  DetectLanguage();
  LoadStringW(instance, IDS_CLASS_NAME, AppState.ClassName.data(), static_cast<int>(AppState.ClassName.size()));
  RegisterMainWindowClass(instance);
  if (!StartInstance(instance)) return 0;

  // Keys have their dialog role in the settings dialog only (Tab, arrows, Space, Enter, Esc; the
  // dialog manager translates and dispatches its messages); every other window gets its messages
  // as they come, untranslated, so keys have no dialog role there.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    HWND settings = AsWindow(AppState.SettingsDialog);
    if (settings && IsDialogMessageW(settings, &message)) continue;
    DispatchMessageW(&message);
  }
  StopMouseHookThread(kHookStopMs);  // moves no longer wait for a hook of a program that is ending
  // Let go of the controller (its held read cancelled, the handle closed) before the process ends;
  // a driver that never completes the cancellation does not keep the program alive.
  StopDeviceThread(kDeviceStopMs);
  EndEventLog(kEventLogEndMs);  // "ended", and what is still queued
  return static_cast<int>(message.wParam);
}
