#include "app/status_window.h"

#include <cwchar>
#include <new>

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

// Posts a request to the status window; the payload is freed when the post fails.
void PostToStatusWindow(UINT message, std::unique_ptr<wchar_t[]> text = nullptr) {
  HWND window = StatusWindowHandle();
  if (!window) return;
  if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(text.get()))) text.release();
}

}  // namespace

HWND CreateStatusDialog(HINSTANCE instance, HWND owner) {
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_STATUS), owner, StatusDialogProc, 0);
}

void PlaceAndShowStatusWindow() {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(StatusWindowHandle(), HWND_TOPMOST, (width - kCentreWidth) / 2, (height - kCentreHeight) / 2, 0, 0,
               SWP_NOSIZE);
  ShowWindow(StatusWindowHandle(), SW_SHOW);
}

std::unique_ptr<wchar_t[]> TakeLogSnapshot() {
  const std::size_t length = std::wcslen(AppState.LogText.data());
  std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length + 1]);
  if (copy) std::wmemcpy(copy.get(), AppState.LogText.data(), length + 1);
  return copy;
}

void SetStatusLogText(const wchar_t* text) { SetDlgItemTextW(StatusWindowHandle(), IDC_STATUS_LOG, text); }

void ShowLog() {
  auto snapshot = TakeLogSnapshot();
  if (snapshot) PostToStatusWindow(WM_STATUS_SET_LOG, std::move(snapshot));
}

void ClearLog() {
  ClearLogText(AppState);
  ShowLog();
}

void ShowStatusWindow() { PostToStatusWindow(WM_STATUS_SHOW); }

void StartDelayedHide() { PostToStatusWindow(WM_STATUS_DELAYED_HIDE); }

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
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
    case WM_STATUS_SET_LOG: {
      std::unique_ptr<wchar_t[]> text(reinterpret_cast<wchar_t*>(lParam));
      if (text) SetDlgItemTextW(dialog, IDC_STATUS_LOG, text.get());
      return 1;
    }
    case WM_STATUS_SHOW:
      KillTimer(dialog, kHideTimer);
      ShowWindow(dialog, SW_SHOW);
      return 1;
    case WM_STATUS_DELAYED_HIDE:
      SetTimer(dialog, kHideTimer, STATUS_HIDE_DELAY_MS, HideStatusTimerProc);
      return 1;
    default:
      return 0;
  }
}
