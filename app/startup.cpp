#include "app/startup.h"

#include <commctrl.h>
#include <dbt.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/status_log.h"
#include "app/policy_watch.h"
#include "app/restart_rule.h"
#include "app/status_window.h"
#include "app/support_state.h"
#include "win/process_user.h"
#include "win/win_handles.h"
#include "button/function_button.h"
#include "core/app_state.h"
#include "core/command_handover.h"
#include "device/device_discovery.h"
#include "device/device_loop.h"
#include "device/device_protocol.h"
#include "device/device_thread.h"
#include "eventlog/event_log.h"
#include "feedback/indicator_window.h"
#include "feedback/mouse_hook.h"
#include "feedback/sound_cues.h"
#include "res/resource_ids.h"
#include "settings_ui/apply_language.h"
#include "language/interface_language.h"
#include "settings_ui/settings_dialog.h"
#include "settings_ui/settings_keyboard.h"

namespace {

constexpr wchar_t kMutexName[] = L"Ostinel.exe";
constexpr DWORD kEndSessionStopMs = 1000;
constexpr DWORD kEventLogEndMs = 700;
constexpr DWORD kHookStopMs = 200;

// Shown and kept up after a failed start; its button then ends the program. The event log hears
// which step failed.
void ShowFailedStart(const wchar_t* step, DWORD error) {
  ReportStartFailed(step, error);
  AppState.StartFailed = 1;
  SetDlgItemTextW(AsWindow(AppState.StatusWindow), IDC_STATUS_BUTTON, AppState.ExitCaption.data());
  PublishLog();
  ShowPublishedLog();
  ShowStatusWindowNow();
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

// Timers of the main window: the console asked again during a switch, the session notices
// registered again after a failure.
constexpr UINT_PTR kAskConsoleTimer = 1;
constexpr UINT_PTR kRegisterSessionsTimer = 2;
constexpr UINT kAskConsoleAgainMs = 250;
constexpr UINT kRegisterSessionsAgainMs = 1000;
bool SessionNoticesRegistered = false;
HDEVNOTIFY ArrivalNotice = nullptr;

// The session attached to the physical console, asked of the system each time (a message claiming
// a session change is only a cue to ask). The test build can be told which session has the console
// (HKCU\Software\Ostinel test, value ConsoleSession), as Wine has only one.
DWORD ConsoleSession() {
  DWORD console = WTSGetActiveConsoleSessionId();
#ifdef OSTINEL_FAULT_INJECTION
  DWORD injected = 0;
  DWORD size = sizeof(injected);
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Ostinel test", L"ConsoleSession", RRF_RT_REG_DWORD, nullptr,
                   &injected, &size) == ERROR_SUCCESS) {
    console = injected;
  }
#endif
  return console;
}

// Whether this copy may hold the controller: its session is the console's. During a switch the
// system names no console session (0xFFFFFFFF); that decides nothing, and the console is asked
// again shortly. When the system cannot tell this process's session, the copy behaves as the only one.
void UpdateDeviceAllowed(HWND window) {
  DWORD mine = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &mine)) {
    SetDeviceAllowed(AppState, true);
    return;
  }
  const DWORD console = ConsoleSession();
  if (console == NO_CONSOLE_SESSION) {
    SetTimer(window, kAskConsoleTimer, kAskConsoleAgainMs, nullptr);
    return;
  }
  KillTimer(window, kAskConsoleTimer);
  SetDeviceAllowed(AppState, SessionOwnsConsole(console, mine));
}

// Session notices first, then the question, so that no switch falls between the two. Early at
// boot the registration can fail (the terminal service not yet running): it is tried again every
// second, and the console asked again once it succeeds.
void RegisterSessionNotices(HWND window) {
  if (WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION)) {
    SessionNoticesRegistered = true;
    KillTimer(window, kRegisterSessionsTimer);
  } else {
    SetTimer(window, kRegisterSessionsTimer, kRegisterSessionsAgainMs, nullptr);
  }
  UpdateDeviceAllowed(window);
}

// The main window hears when a controller's interface arrives (plugged in, driver loaded).
void RegisterArrivalNotices(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = ControllerInterfaceClass();
  ArrivalNotice = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

bool IsControllerInterface(const GUID& guid) { return IsEqualGUID(guid, ControllerInterfaceClass()) != FALSE; }

// Device notices. An arrival of the controller's interface: connect at once. A removal query or
// completion for the open controller: the device thread closes the handle first (a query is
// answered only once it is closed, or after a second, so that the removal is not refused for an
// open handle) and hands its registration over; the outcome of the removal unregisters it, and a
// failed removal connects again at once.
void OnDeviceChange(WPARAM event, LPARAM data) {
  if (!data) return;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (event == DBT_DEVICEARRIVAL) {
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
      return;
    }
    if (IsControllerInterface(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(data)->dbcc_classguid)) {
      RequestDeviceAttempt(AppState);
    }
    return;
  }
  if (header->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_eventguid)) return;
  const auto* notice = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(data);
  const NativeHandle open = AppState.OpenDevice.load(std::memory_order_acquire);
  DeviceChangeDecision decision =
      DecideDeviceChange(static_cast<std::uint32_t>(event), header->dbch_devicetype, notice->dbch_handle,
                         notice->dbch_hdevnotify, open, AppState.RemovalNoticeLeft.load(std::memory_order_acquire));
  if (decision.Release) {
    RequestDeviceRelease(AppState, notice->dbch_handle);
    const ULONGLONG end = GetTickCount64() + 1000;
    while (AppState.OpenDevice.load(std::memory_order_acquire) == open && GetTickCount64() < end) Sleep(1);
    // A completed removal that came without a query: its registration, just handed over, goes too.
    decision.Forget = event == DBT_DEVICEREMOVECOMPLETE;
  }
  NativeHandle left = notice->dbch_hdevnotify;
  if (decision.Forget && AppState.RemovalNoticeLeft.compare_exchange_strong(left, nullptr)) {
    UnregisterDeviceNotification(notice->dbch_hdevnotify);
  }
  if (decision.ConnectNow) RequestDeviceAttempt(AppState);
}

// Windows Error Reporting starts the program again after a crash or a hang while it is registered
// (after 60 s of running, its own rule), but not after a reboot or an update, which the logon
// start covers. The restart rule says when.
void FollowRestartRule(RestartMoment moment) {
  switch (DecideRestartCall(moment, AppState.StartFailed != 0)) {
    case RestartCall::Register:
      RegisterApplicationRestart(RESTART_ARGUMENT, RESTART_NO_REBOOT | RESTART_NO_PATCH);
      break;
    case RestartCall::Withdraw:
      UnregisterApplicationRestart();
      break;
    case RestartCall::None:
      break;
  }
}

// The device thread's field reports: each listener returns at once.
void OnDeviceNotice(DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  ReportDeviceNotice(notice, error, path);
  NoteSupportState(notice, error, path);
}

// The device thread reaches the status window only through these.
DeviceStatusActions StatusWindowActions() {
  DeviceStatusActions actions;
  actions.PublishLog = PublishLog;
  actions.ClearLog = ClearLog;
  actions.ShowStatusWindow = ShowStatusWindow;
  actions.StartDelayedHide = StartDelayedHide;
  actions.Notice = OnDeviceNotice;
  return actions;
}

void LogBanner() {
  LogLine(AppState, L"Vemto Kavrix Screen sound out program\r\n");
  LogLine(AppState, L"Click sounds and right-click feedback for your touch screen\r\n");
  LogLine(AppState, L"Looking for the touch controller...\r\n");
}

// Who this process runs as: "DOMAIN\name" (e.g. NT AUTHORITY\SYSTEM), its SID when the name
// cannot be looked up, or "unknown".
std::wstring ProcessAccount() {
  std::vector<BYTE> user = ProcessTokenUser();
  if (user.empty()) return L"unknown";
  PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  std::array<wchar_t, 256> name{}, domain{};
  DWORD nameLength = static_cast<DWORD>(name.size()), domainLength = static_cast<DWORD>(domain.size());
  SID_NAME_USE use{};
  if (LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength, &use)) {
    return domain[0] ? std::wstring(domain.data()) + L"\\" + name.data() : std::wstring(name.data());
  }
  const std::wstring text = SidText(sid);
  return text.empty() ? L"unknown" : text;
}

}  // namespace

bool EndInServicesSession() {
  DWORD session = 0;
  const bool servicesSession =
      FaultInjected(L"session0") || (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0);
  if (!servicesSession) return false;
  StartEventLog();
  ReportServicesSession(ProcessAccount().c_str());
  EndEventLog(kEventLogEndMs);
  return true;
}

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
  switch (message) {
    case WM_OPEN_SETTINGS: {
      // Another process asks for the settings: the stored values replace any unconfirmed edits.
      HWND dialog = AsWindow(AppState.SettingsDialog);
      if (dialog) {
        LoadSettings(dialog);
        ShowWindow(dialog, SW_SHOW);
        // In front of the user's application; the asking process has allowed it.
        SetForegroundWindow(dialog);
        FocusFirstSettingsControl(dialog);
      }
      return 1;
    }
    case WM_POLICY_CHANGED:
      OnPolicyChangeNotice();
      return 0;
    case WM_CLOSE:
      // A polite request to end (task managers, uninstallers): the message loop ends, and the
      // entry lets go of the controller before the process ends with 0.
      if (SessionNoticesRegistered) WTSUnRegisterSessionNotification(window);
      if (ArrivalNotice) UnregisterDeviceNotification(ArrivalNotice);
      ArrivalNotice = nullptr;
      DestroyWindow(window);
      PostQuitMessage(0);
      return 0;
    case WM_QUERYENDSESSION:
      FollowRestartRule(RestartMoment::SessionEnding);
      return TRUE;  // never holds up a logoff or shutdown
    case WM_ENDSESSION:
      FollowRestartRule(wParam ? RestartMoment::SessionEnding : RestartMoment::SessionEndCalledOff);
      if (wParam) {
        StopMouseHookThread(kHookStopMs);
        StopDeviceThread(kEndSessionStopMs);
        EndEventLog(kEventLogEndMs);  // the system ends the process after this answer
      }
      return 0;
    case WM_WTSSESSION_CHANGE:
      UpdateDeviceAllowed(window);
      return 0;
    case WM_TIMER:
      if (wParam == kAskConsoleTimer) UpdateDeviceAllowed(window);
      if (wParam == kRegisterSessionsTimer) RegisterSessionNotices(window);
      return 0;
#ifdef OSTINEL_FAULT_INJECTION
    // The test build also takes these from a test: hold the UI thread for wParam ms (at most 5 s),
    // as a removal hand-over or a drawing at a new scale holds it; and answer the hook's latest
    // point (PointerWord; 0 before the first move).
    case WM_TEST_HOLD_UI_THREAD:
      // The title says so meanwhile: another process reads it without this thread.
      SetWindowTextW(window, L"held");
      Sleep(static_cast<DWORD>(wParam < 5000 ? wParam : 5000));
      SetWindowTextW(window, L"");
      return 0;
    case WM_TEST_HOOK_POINT:
      if (AppState.PointerSeen.load(std::memory_order_acquire) == 0) return 0;
      return static_cast<LRESULT>(AppState.Pointer.load(std::memory_order_relaxed));
#endif
    case WM_DEVICECHANGE:
      if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEQUERYREMOVE || wParam == DBT_DEVICEQUERYREMOVEFAILED ||
          wParam == DBT_DEVICEREMOVECOMPLETE) {
        OnDeviceChange(wParam, lParam);
      }
      return TRUE;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool StartInstance(HINSTANCE instance) {
  AppState.Instance = instance;
  StartEventLog();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  HWND mainWindow = FaultInjected(L"mainwindow")
                        ? nullptr
                        : CreateWindowExW(0, AppState.ClassName.data(), L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                          CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (!mainWindow) {
    ReportStartFailed(L"main window", GetLastError());
    EndEventLog(kEventLogEndMs);
    return false;
  }
  AppState.MainWindow = mainWindow;

  AppState.StatusWindow = CreateStatusDialog(instance, mainWindow);
  AppState.SettingsDialog = CreateSettingsDialog(instance, mainWindow);

  if (AppState.StatusWindow && AppState.SettingsDialog) ApplyLanguage();

  if (AppState.StatusWindow) PlaceAndShowStatusWindow();
  LogBanner();

  // One copy only. The handle of the first copy lives until the process ends. A mutex that may
  // not be opened belongs to a copy running with other rights: that copy runs, so this one stops.
  const bool deniedInjected = FaultInjected(L"mutexdenied");
  HANDLE mutex = deniedInjected ? nullptr : CreateMutexW(nullptr, FALSE, kMutexName);
  const DWORD mutexError = deniedInjected ? ERROR_ACCESS_DENIED : GetLastError();
  if (mutexError == ERROR_ALREADY_EXISTS || (!mutex && mutexError == ERROR_ACCESS_DENIED)) {
    LogLine(AppState, L"Error! Couldn't executed this program twice!\r\n");
    if (mutex) CloseHandle(mutex);
    ShowFailedStart(L"single instance", mutexError);
    return true;
  }

  AppState.IndicatorBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_INDICATOR));
  AppState.ButtonOnBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_ON));
  AppState.ButtonOffBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_OFF));
  AppState.ButtonMoveBitmap =
      FaultInjected(L"bitmap") ? nullptr : LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_MOVE));
  if (!AppState.IndicatorBitmap || !AppState.ButtonOnBitmap || !AppState.ButtonOffBitmap ||
      !AppState.ButtonMoveBitmap) {
    const DWORD error = GetLastError();
    LogLine(AppState, L"Bit Map file open error!\r\n");
    ShowFailedStart(L"bitmaps", error);
    return true;
  }

  CreateIndicatorWindow();
  if (!FaultInjected(L"dialog")) CreateButtonWindow();
  AppState.RepaintButton.store(RepaintButtonWindow, std::memory_order_release);
  if (const LanguageTexts* texts = TextsForLanguage(AppState.LanguageMode)) {
    SetButtonAccessibleTexts({texts->ButtonName, texts->ButtonIdle, texts->ButtonArmed, texts->ButtonMoveMode});
  }
  // The settings dialog's own show or hide ran before the button existed.
  ApplyButtonVisibility(AppState.ButtonSetup.load());

  if (!AppState.SettingsDialog || !AppState.IndicatorWindow || !AppState.ButtonWindow) {
    const DWORD error = GetLastError();
    LogLine(AppState, L"Dialog Open Error!\r\n");
    ShowFailedStart(L"windows", error);
    return true;
  }

  // Managed settings over the stored ones, before the controller and the event log hear them.
  StartPolicyWatch(mainWindow);

  // Only the copy in the console's session holds the controller; the system tells this window
  // when the console moves (fast user switching, remote sessions).
  RegisterSessionNotices(mainWindow);
  // A controller plugged in while none is connected is tried at once.
  RegisterArrivalNotices(mainWindow);

  // Written before the device thread's first report (and before a support section's name found
  // taken); a thread that cannot start follows it.
  ReportStarted(SettingsInForceOf(AppState), IsRestartCommandLine(GetCommandLineW()));

  // What the support report reads of this copy; kept current by the device thread's reports.
  StartSupportState();

  // The device thread owns the log from now on: publish the start-up log before it runs.
  PublishLog();
  const DWORD threadError = FaultInjected(L"thread") ? ERROR_NOT_ENOUGH_MEMORY : StartDeviceThread(StatusWindowActions());
  if (threadError != ERROR_SUCCESS) {
    LogLine(AppState, L"Error! Couldn't create thread - error code : %d\r\n", static_cast<int>(threadError));
    ShowFailedStart(L"device thread", threadError);
    return true;
  }

  // The hook on its own thread, last, so that no failure path above leaves it running. Without it
  // the ring still follows the cursor; the hook's point is only the fallback.
  StartMouseHookThread();

  ShowPublishedLog();
  PlayCue(CUE_START);
  FollowRestartRule(RestartMoment::StartUpDone);
  return true;
}
