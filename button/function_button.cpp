#include "button/function_button.h"

#include <windows.h>
#include <windowsx.h>

#include <vector>

#include "button/button_placement.h"
#include "button/function_button_logic.h"
#include "core/app_state.h"
#include "res/resource_ids.h"
#include "win/win_handles.h"

namespace {

constexpr UINT_PTR kClickTimer = 0;
constexpr UINT kClickTimeMs = 400;
constexpr UINT_PTR kDragTimer = 1;
constexpr UINT kDragStepMs = 15;

// A drag in move mode. The button follows the pointer itself instead of the system's move loop,
// which would make it the foreground window and take the caret from the user's application.
struct ButtonDrag {
  bool Active = false;
  POINT Grab{};       // the pointer's offset from the window's top-left corner at the press
  POINT StartedAt{};  // the window's top-left corner at the press
};
ButtonDrag Drag;

HWND ButtonWindowHandle() { return AsWindow(AppState.ButtonWindow); }

void Invalidate(HWND window) { InvalidateRect(window, nullptr, FALSE); }

HBITMAP ButtonBitmap() {
  switch (ChooseButtonImage(AppState)) {
    case ButtonImage::Move:
      return AsBitmap(AppState.ButtonMoveBitmap);
    case ButtonImage::Armed:
      return AsBitmap(AppState.ButtonOnBitmap);
    case ButtonImage::Idle:
      break;
  }
  return AsBitmap(AppState.ButtonOffBitmap);
}

void PaintButton(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc) {
    UniqueMemoryDc memory(CreateCompatibleDC(dc));
    if (memory) {
      ScopedSelect select(memory.get(), ButtonBitmap());
      BitBlt(dc, 0, 0, BUTTON_SIDE, BUTTON_SIDE, memory.get(), 0, 0, SRCCOPY);
    }
  }
  EndPaint(window, &paint);
}

PixelRect ToPixelRect(const RECT& r) { return PixelRect{r.left, r.top, r.right, r.bottom}; }

// The primary monitor's work area (the screen less a taskbar docked on it).
PixelRect PrimaryWorkArea() {
  RECT work{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return ToPixelRect(work);
}

PixelRect CurrentStartPlace() {
  return ButtonStartPlace(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), PrimaryWorkArea());
}

BOOL CALLBACK AddSecondaryWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(monitor, &info) && (info.dwFlags & MONITORINFOF_PRIMARY) == 0) {
    reinterpret_cast<std::vector<PixelRect>*>(areas)->push_back(ToPixelRect(info.rcWork));
  }
  return TRUE;
}

// The work area of every monitor; the primary one's as the system's work-area setting gives it.
std::vector<PixelRect> WorkAreas() {
  std::vector<PixelRect> areas{PrimaryWorkArea()};
  EnumDisplayMonitors(nullptr, nullptr, AddSecondaryWorkArea, reinterpret_cast<LPARAM>(&areas));
  return areas;
}

void MoveButton(HWND window, const PixelRect& place) {
  SetWindowPos(window, HWND_TOPMOST, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

// Resolution, orientation or monitors changed, or a taskbar moved: keep the button reachable.
void DisplayChanged(HWND window) {
  if (Drag.Active) return;
  RECT shown{};
  if (!GetWindowRect(window, &shown)) return;
  const PixelRect current = ToPixelRect(shown);
  const PixelRect start = CurrentStartPlace();
  const PixelRect place = ButtonPlaceAfterDisplayChange(current, AppState.ButtonDragged != 0, start, WorkAreas());
  if (place == start) AppState.ButtonDragged = 0;
  if (place != current) MoveButton(window, place);
}

// One-shot: a single left click toggles 400 ms after the press unless a double click came first.
void CALLBACK SingleClickTimerProc(HWND window, UINT, UINT_PTR timer, DWORD) {
  if (ButtonClickTimerExpired(AppState)) Invalidate(window);
  KillTimer(window, timer);
}

// The primary button as the user has set the mouse up (the async state is of the physical one).
bool PrimaryButtonHeld() {
  const int key = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return (GetAsyncKeyState(key) & 0x8000) != 0;
}

// The release (moved or not) ends the drag: the button goes idle.
void EndDrag(HWND window) {
  if (!Drag.Active) return;
  Drag.Active = false;
  KillTimer(window, kDragTimer);
  if (GetCapture() == window) ReleaseCapture();
  RECT shown{};
  GetWindowRect(window, &shown);
  if (shown.left != Drag.StartedAt.x || shown.top != Drag.StartedAt.y) AppState.ButtonDragged = 1;
  ButtonMoveEnded(AppState);
  Invalidate(window);
}

// Follows the pointer while the button is held. The pointer is read rather than taken from mouse
// messages: those go to the window beneath once the pointer leaves the button, since a window
// that never becomes the foreground window cannot rely on the capture.
void CALLBACK DragTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  const bool held = PrimaryButtonHeld();  // first: the pointer read after a release is its last place
  POINT at{};
  if (GetCursorPos(&at)) {
    SetWindowPos(window, nullptr, at.x - Drag.Grab.x, at.y - Drag.Grab.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (!held) EndDrag(window);
}

void StartDrag(HWND window) {
  RECT shown{};
  GetWindowRect(window, &shown);
  const DWORD pressedAt = GetMessagePos();
  Drag.Grab = POINT{GET_X_LPARAM(pressedAt) - shown.left, GET_Y_LPARAM(pressedAt) - shown.top};
  Drag.StartedAt = POINT{shown.left, shown.top};
  Drag.Active = true;
  SetCapture(window);
  SetTimer(window, kDragTimer, kDragStepMs, DragTimerProc);
}

void LeftButtonDown(HWND window) {
  if (ButtonLeftPressed(AppState) == ButtonLeftPress::StartClickTimer) {
    SetTimer(window, kClickTimer, kClickTimeMs, SingleClickTimerProc);
    return;
  }
  StartDrag(window);
}

INT_PTR CALLBACK ButtonDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // A tap on the button never takes the foreground from the user's application.
      SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
      return 1;
    case WM_MOUSEACTIVATE:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, MA_NOACTIVATE);
      return 1;
    case WM_LBUTTONDOWN:
      LeftButtonDown(window);
      return 1;
    case WM_LBUTTONDBLCLK:
      ButtonLeftDoubleClicked(AppState);
      Invalidate(window);
      return 1;
    case WM_RBUTTONDOWN:
      if (ButtonRightPressed(AppState)) Invalidate(window);
      return 1;
    case WM_PAINT:
      PaintButton(window);
      return 1;
    case WM_DISPLAYCHANGE:
      DisplayChanged(window);
      return 0;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETWORKAREA) DisplayChanged(window);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

void CreateButtonWindow() {
  HWND window = CreateDialogParamW(AsInstance(AppState.Instance), MAKEINTRESOURCEW(IDD_POPUP),
                                   AsWindow(AppState.MainWindow), ButtonDialogProc, 0);
  AppState.ButtonWindow = window;
  if (!window) return;
  const PixelRect start = CurrentStartPlace();
  SetWindowPos(window, HWND_TOPMOST, start.left, start.top, BUTTON_SIDE, BUTTON_SIDE,
               SWP_HIDEWINDOW | SWP_NOACTIVATE);
}

void ApplyButtonVisibility(std::uint32_t buttonSetup) {
  HWND window = ButtonWindowHandle();
  if (!window) return;
  if ((buttonSetup & SETUP_FUNCTION_BUTTON) != 0) {
    ShowWindow(window, SW_SHOWNA);
    return;
  }
  EndDrag(window);  // a drag under way ends with the hide
  ShowWindow(window, SW_HIDE);
}

void RepaintButtonWindow() {
  HWND window = ButtonWindowHandle();
  if (window) Invalidate(window);
}
