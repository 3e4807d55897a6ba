#include "app/status_window.h"

#include <bcrypt.h>

#include <array>

#include "core/status_log.h"
#include "win/win_handles.h"
#include "core/app_state.h"
#include "res/resource_ids.h"

namespace {

constexpr UINT_PTR kHideTimer = 0;
constexpr int kCentreWidth = 215;
constexpr int kCentreHeight = 163;

HWND StatusWindowHandle() { return AsWindow(AppState.StatusWindow); }

void CALLBACK HideStatusTimerProc(HWND window, UINT, UINT_PTR timer, DWORD) {
  ShowWindow(window, SW_HIDE);
  KillTimer(window, timer);
}

// The log as last shown by its owner: written by the owner, copied by the UI thread, each under
// the lock, so the UI thread never reads a buffer that is being written.
SRWLOCK PublishedLogLock = SRWLOCK_INIT;
std::array<wchar_t, LOG_TEXT_CAPACITY> PublishedLog{};

// The key that the show and hide requests of this run carry. Made once from the system's random
// source; another process cannot read it, so its posts of these message numbers do nothing.
WPARAM RequestKey = 0;

WPARAM MakeRequestKey() {
  WPARAM key = 0;
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&key), sizeof(key),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    key = static_cast<WPARAM>(static_cast<unsigned long long>(counter.QuadPart) * 0x9E3779B97F4A7C15ull ^
                              GetCurrentProcessId());
  }
  return key | 1;  // never 0, the value of a message posted without parameters
}

void PostToStatusWindow(UINT message, WPARAM wParam) {
  HWND window = StatusWindowHandle();
  if (window) PostMessageW(window, message, wParam, 0);
}

}  // namespace

HWND CreateStatusDialog(HINSTANCE instance, HWND owner) {
  if (!RequestKey) RequestKey = MakeRequestKey();
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_STATUS), owner, StatusDialogProc, 0);
}

void PlaceAndShowStatusWindow() {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(StatusWindowHandle(), HWND_TOPMOST, (width - kCentreWidth) / 2, (height - kCentreHeight) / 2, 0, 0,
               SWP_NOSIZE);
  ShowWindow(StatusWindowHandle(), SW_SHOW);
}

void ShowPublishedLog() {
  // Only the UI thread uses this copy; it is static to keep 20 KB off the stack.
  static std::array<wchar_t, LOG_TEXT_CAPACITY> shown;
  AcquireSRWLockShared(&PublishedLogLock);
  shown = PublishedLog;
  ReleaseSRWLockShared(&PublishedLogLock);
  shown.back() = 0;
  SetDlgItemTextW(StatusWindowHandle(), IDC_STATUS_LOG, shown.data());
}

void ShowLog() {
  AcquireSRWLockExclusive(&PublishedLogLock);
  PublishedLog = AppState.LogText;
  ReleaseSRWLockExclusive(&PublishedLogLock);
  PostToStatusWindow(WM_STATUS_REFRESH_LOG, 0);
}

void ClearLog() {
  ClearLogText(AppState);
  ShowLog();
}

void ShowStatusWindow() { PostToStatusWindow(WM_STATUS_SHOW, RequestKey); }

void StartDelayedHide() { PostToStatusWindow(WM_STATUS_DELAYED_HIDE, RequestKey); }

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextW(dialog, L"Vemto Kavrix Sound out v1.000h");
      return 1;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDC_STATUS_BUTTON) return 0;
      if (AppState.StartFailed == 0) {
        ShowWindow(AsWindow(AppState.StatusWindow), SW_HIDE);
      } else {
        EndDialog(dialog, 1);
        DestroyWindow(AsWindow(AppState.MainWindow));
        PostQuitMessage(-1);
      }
      return 1;
    case WM_STATUS_REFRESH_LOG:
      ShowPublishedLog();
      return 1;
    case WM_STATUS_SHOW:
      if (wParam != RequestKey) return 1;
      KillTimer(dialog, kHideTimer);
      ShowWindow(dialog, SW_SHOW);
      return 1;
    case WM_STATUS_DELAYED_HIDE:
      if (wParam != RequestKey) return 1;
      SetTimer(dialog, kHideTimer, STATUS_HIDE_DELAY_MS, HideStatusTimerProc);
      return 1;
    default:
      return 0;
  }
}
