#include "app/startup.h"

#include <commctrl.h>

#include "core/status_log.h"
#include "app/status_window.h"
#include "win/win_handles.h"
#include "button/function_button.h"
#include "core/app_state.h"
#include "device/device_thread.h"
#include "feedback/indicator_window.h"
#include "feedback/sound_cues.h"
#include "res/resource_ids.h"
#include "settings_ui/apply_language.h"
#include "settings_ui/settings_dialog.h"

namespace {

constexpr UINT WM_OPEN_SETTINGS = WM_USER + 1;
constexpr wchar_t kMutexName[] = L"Ostinel.exe";

// Shown and kept up after a failed start; its button then ends the program.
void FailureTail() {
  AppState.StartFailed = 1;
  SetDlgItemTextW(AsWindow(AppState.StatusWindow), IDC_STATUS_BUTTON, AppState.ExitCaption.data());
  SetStatusLogText(AppState.LogText.data());
  ShowWindow(AsWindow(AppState.StatusWindow), SW_SHOW);
  PlayCue(CUE_START_FAILED);
}

// Start-up failures can be injected in the test build of the program (OstinelFaults.exe), named
// by the environment variable OSTINEL_INJECT_FAULT; each then takes the product's own failure path.
// The shipped program has no such hook.
bool FaultInjected([[maybe_unused]] const wchar_t* step) {
#ifdef OSTINEL_FAULT_INJECTION
  wchar_t wanted[32] = L"";
  GetEnvironmentVariableW(L"OSTINEL_INJECT_FAULT", wanted, 32);
  return wcscmp(wanted, step) == 0;
#else
  return false;
#endif
}

// The device thread reaches the status window only through these.
DeviceStatusActions StatusWindowActions() {
  DeviceStatusActions actions;
  actions.ShowLog = ShowLog;
  actions.ClearLog = ClearLog;
  actions.ShowStatusWindow = ShowStatusWindow;
  actions.StartDelayedHide = StartDelayedHide;
  return actions;
}

void LogBanner() {
  LogLine(AppState, L"Vemto Kavrix Screen sound out program\r\n");
  LogLine(AppState, L"Click sounds and right-click feedback for your touch screen\r\n");
  LogLine(AppState, L"Looking for the touch controller...\r\n");
}

}  // namespace

ATOM RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = AppState.ClassName.data();
  return RegisterClassExW(&wc);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_OPEN_SETTINGS) {
    // Another process asks for the settings: the stored values replace any unconfirmed edits.
    HWND dialog = AsWindow(AppState.SettingsDialog);
    if (dialog) {
      LoadSettings(dialog);
      ShowWindow(dialog, SW_SHOW);
      // In front of the user's application; the asking process has allowed it.
      SetForegroundWindow(dialog);
    }
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool StartInstance(HINSTANCE instance) {
  AppState.Instance = instance;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  HWND mainWindow = FaultInjected(L"mainwindow")
                        ? nullptr
                        : CreateWindowExW(0, AppState.ClassName.data(), L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                          CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (!mainWindow) return false;
  AppState.MainWindow = mainWindow;

  AppState.StatusWindow = CreateStatusDialog(instance, mainWindow);
  AppState.SettingsDialog = CreateSettingsDialog(instance, mainWindow);

  if (AppState.StatusWindow && AppState.SettingsDialog) ApplyLanguage();

  if (AppState.StatusWindow) PlaceAndShowStatusWindow();
  LogBanner();

  // One copy only. The handle of the first copy lives until the process ends.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    LogLine(AppState, L"Error! Couldn't executed this program twice!\r\n");
    if (mutex) CloseHandle(mutex);
    FailureTail();
    return true;
  }

  AppState.IndicatorBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_INDICATOR));
  AppState.ButtonOnBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_ON));
  AppState.ButtonOffBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_OFF));
  AppState.ButtonMoveBitmap =
      FaultInjected(L"bitmap") ? nullptr : LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_MOVE));
  if (!AppState.IndicatorBitmap || !AppState.ButtonOnBitmap || !AppState.ButtonOffBitmap ||
      !AppState.ButtonMoveBitmap) {
    LogLine(AppState, L"Bit Map file open error!\r\n");
    FailureTail();
    return true;
  }

  CreateIndicatorWindow();
  if (!FaultInjected(L"dialog")) CreateButtonWindow();
  // The settings dialog's own show or hide ran before the button existed.
  ApplyButtonVisibility(AppState.ButtonSetup.load());

  if (!AppState.SettingsDialog || !AppState.IndicatorWindow || !AppState.ButtonWindow) {
    LogLine(AppState, L"Dialog Open Error!\r\n");
    FailureTail();
    return true;
  }

  // The device thread appends to the log from now on: take the start-up log before it runs.
  std::unique_ptr<wchar_t[]> startupLog = TakeLogSnapshot();

  const DWORD threadError = FaultInjected(L"thread") ? ERROR_NOT_ENOUGH_MEMORY : StartDeviceThread(StatusWindowActions());
  if (threadError != ERROR_SUCCESS) {
    LogLine(AppState, L"Error! Couldn't create thread - error code : %d\r\n", static_cast<int>(threadError));
    FailureTail();
    return true;
  }

  // Without the hook no pointer position is recorded and the indicator never shows.
  AppState.MouseHook = SetWindowsHookExW(WH_MOUSE_LL, MouseHookProc, instance, 0);

  SetStatusLogText(startupLog ? startupLog.get() : L"");
  PlayCue(CUE_START);
  return true;
}
