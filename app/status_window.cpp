#include "app/status_window.h"

#include <bcrypt.h>
#include <windowsx.h>

#include <algorithm>
#include <array>

#include "core/app_state.h"
#include "core/display_scale.h"
#include "core/status_log.h"
#include "res/resource_ids.h"
#include "settings_ui/dialog_fit.h"
#include "win/dpi_scale.h"
#include "win/primary_button.h"
#include "win/win_handles.h"

namespace {

constexpr UINT_PTR kHideTimer = 0;
constexpr int kCentreWidth = 215;
constexpr int kCentreHeight = 163;
// Posted to itself after a change of scale, so the texts are fitted after the dialog manager has
// laid the controls out again.
constexpr UINT WM_STATUS_RESCALED = WM_APP + 4;

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

// Shown on top of the topmost band without activation: the application in front keeps the
// foreground and its caret.
void ShowOnTopWithoutActivation(HWND window) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// Where the cursor was when the message being handled was posted.
POINT MessagePoint() {
  const DWORD at = GetMessagePos();
  return POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
}

// A click into the log's text activates the window, so the text can be selected, copied from its
// context menu and scrolled with the keys; the button, the scroll bar, the caption and the rest
// never do.
bool ClickActivates(HWND dialog, LPARAM hitAndMessage) {
  if (LOWORD(hitAndMessage) != HTCLIENT) return false;  // the hit test of the window clicked
  HWND log = GetDlgItem(dialog, IDC_STATUS_LOG);
  return log && WindowFromPoint(MessagePoint()) == log;
}

// The button's press and release, without the focus that the button control takes on a press:
// focus activates the window, and the application in front would lose the foreground and its
// caret. Pressed look, capture and the click on a release over the button as the control has them.
WNDPROC ButtonProc = nullptr;
bool ButtonPressed = false;

bool CursorOver(HWND button, LPARAM at) {
  RECT client{};
  GetClientRect(button, &client);
  return PtInRect(&client, POINT{GET_X_LPARAM(at), GET_Y_LPARAM(at)}) != FALSE;
}

LRESULT CALLBACK NoFocusButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      ButtonPressed = true;
      SetCapture(button);
      SendMessageW(button, BM_SETSTATE, TRUE, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (ButtonPressed) SendMessageW(button, BM_SETSTATE, CursorOver(button, lParam), 0);
      return 0;
    case WM_LBUTTONUP: {
      if (!ButtonPressed) return 0;
      ButtonPressed = false;
      const bool over = CursorOver(button, lParam);
      SendMessageW(button, BM_SETSTATE, FALSE, 0);
      ReleaseCapture();
      if (over) {
        SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (ButtonPressed && reinterpret_cast<HWND>(lParam) != button) {
        ButtonPressed = false;
        SendMessageW(button, BM_SETSTATE, FALSE, 0);
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(ButtonProc, button, message, wParam, lParam);
}

// Moving the window by its caption without the system's move loop, which would activate it. A
// window that is not in the foreground keeps only the mouse messages over it, capture or not: a
// quick swipe leaves it behind and the release goes to the window beneath. So, as the function
// button does, the cursor and the primary button are read on a timer; the window follows the cursor
// at the offset of the press, and the drag ends at the first reading or message without the button
// down. The capture still brings the messages while the window is in the foreground. On a monitor
// of another scale the window takes another size: the offset, measured at the press, follows it.
constexpr UINT_PTR kDragTimer = 1;
constexpr UINT kDragStepMs = 15;
bool CaptionHeld = false;
POINT CaptionGrab{};        // the cursor's offset from the window's corner at the press
UINT CaptionGrabDpi = 0;    // the window's scale at the press
UINT CaptionDpi = 0;        // the window's scale now

void FollowTo(HWND dialog, POINT at) {
  const int x = at.x - RescaleLength(CaptionGrab.x, CaptionDpi, CaptionGrabDpi);
  const int y = at.y - RescaleLength(CaptionGrab.y, CaptionDpi, CaptionGrabDpi);
  RECT frame{};
  GetWindowRect(dialog, &frame);
  if (frame.left == x && frame.top == y) return;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EndCaptionDrag(HWND dialog) {
  if (!CaptionHeld) return;
  CaptionHeld = false;
  KillTimer(dialog, kDragTimer);
  if (GetCapture() == dialog) ReleaseCapture();
}

void CALLBACK CaptionDragTimerProc(HWND dialog, UINT, UINT_PTR, DWORD) {
  const bool held = PrimaryButtonHeld();  // first: the cursor read after a release is its last place
  POINT at{};
  if (GetCursorPos(&at)) FollowTo(dialog, at);
  if (!held) EndCaptionDrag(dialog);
}

void StartCaptionDrag(HWND dialog) {
  RECT frame{};
  GetWindowRect(dialog, &frame);
  const POINT at = MessagePoint();
  CaptionGrab = POINT{at.x - frame.left, at.y - frame.top};
  CaptionGrabDpi = CaptionDpi = DpiOfWindow(dialog);
  CaptionHeld = true;
  SetCapture(dialog);
  SetTimer(dialog, kDragTimer, kDragStepMs, CaptionDragTimerProc);
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
  HWND window = StatusWindowHandle();
  // Centred on the primary screen by its size at 100 %, scaled to the primary monitor's scale,
  // then kept wholly on that monitor's work area (a large scale on a small screen).
  HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  const UINT dpi = DpiOfMonitor(primary);
  int x = (GetSystemMetrics(SM_CXSCREEN) - ScaleToDpi(kCentreWidth, dpi)) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - ScaleToDpi(kCentreHeight, dpi)) / 2;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  RECT size{};
  if (GetMonitorInfoW(primary, &monitor) && GetWindowRect(window, &size)) {
    const RECT& work = monitor.rcWork;
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right - (size.right - size.left))));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom - (size.bottom - size.top))));
  }
  SetWindowPos(window, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  ShowOnTopWithoutActivation(window);
}

void ShowStatusWindowNow() { ShowOnTopWithoutActivation(StatusWindowHandle()); }

void ShowPublishedLog() {
  // Only the UI thread uses this copy; it is static to keep 20 KB off the stack.
  static std::array<wchar_t, LOG_TEXT_CAPACITY> shown;
  AcquireSRWLockShared(&PublishedLogLock);
  shown = PublishedLog;
  ReleaseSRWLockShared(&PublishedLogLock);
  shown.back() = 0;
  SetDlgItemTextW(StatusWindowHandle(), IDC_STATUS_LOG, shown.data());
}

void PublishLog() {
  AcquireSRWLockExclusive(&PublishedLogLock);
  PublishedLog = AppState.LogText;
  ReleaseSRWLockExclusive(&PublishedLogLock);
  PostToStatusWindow(WM_STATUS_REFRESH_LOG, 0);
}

void ClearLog() {
  ClearLogText(AppState);
  PublishLog();
}

void ShowStatusWindow() { PostToStatusWindow(WM_STATUS_SHOW, RequestKey); }

void StartDelayedHide() { PostToStatusWindow(WM_STATUS_DELAYED_HIDE, RequestKey); }

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextW(dialog, L"Vemto Kavrix Sound out v1.000h");
      if (HWND button = GetDlgItem(dialog, IDC_STATUS_BUTTON)) {
        ButtonProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NoFocusButtonProc)));
      }
      // No focus for a control: focus would make the window active when it shows.
      return 0;
    case WM_MOUSEACTIVATE:
      if (ClickActivates(dialog, lParam)) {
        SetForegroundWindow(dialog);
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, MA_ACTIVATE);
      } else {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, MA_NOACTIVATE);
      }
      return 1;
    case WM_NCLBUTTONDOWN:
      if (wParam != HTCAPTION) return 0;
      StartCaptionDrag(dialog);
      return 1;
    case WM_MOUSEMOVE:
      if (CaptionHeld) {
        if (wParam & MK_LBUTTON) {
          FollowTo(dialog, MessagePoint());
        } else {
          EndCaptionDrag(dialog);  // the release went elsewhere: the drag ended before this move
        }
      }
      return 0;
    case WM_NCMOUSEMOVE:
      if (CaptionHeld && !PrimaryButtonHeld()) EndCaptionDrag(dialog);
      return 0;
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP:
      if (CaptionHeld) {
        FollowTo(dialog, MessagePoint());
        EndCaptionDrag(dialog);
      }
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: take the place the system suggests; the dialog
      // manager then scales the font and the controls, and the fit follows. During a drag the
      // next step puts the window under the cursor at the offset for the new scale.
      CaptionDpi = LOWORD(wParam);
      MoveToSuggestedRect(dialog, lParam);
      PostMessageW(dialog, WM_STATUS_RESCALED, 0, 0);
      return 0;
    }
    case WM_STATUS_RESCALED:
      FitDialogTexts(dialog);
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
      ShowOnTopWithoutActivation(dialog);
      return 1;
    case WM_STATUS_DELAYED_HIDE:
      if (wParam != RequestKey) return 1;
      SetTimer(dialog, kHideTimer, STATUS_HIDE_DELAY_MS, HideStatusTimerProc);
      return 1;
    default:
      return 0;
  }
}
