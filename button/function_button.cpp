#include "button/function_button.h"

#include <windows.h>
#include <windowsx.h>

#include <array>
#include <utility>
#include <vector>

#include "button/button_picture.h"
#include "button/button_accessible.h"
#include "button/button_placement.h"
#include "button/function_button_logic.h"
#include "core/app_state.h"
#include "res/resource_ids.h"
#include "win/dpi_scale.h"
#include "win/primary_button.h"
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
  bool Placing = false;  // inside our own SetWindowPos (a scale change may be sent from there)
  PixelPoint Grab{};     // the pointer's offset from the window's top-left corner at the press
  std::int32_t GrabSide = BUTTON_SIDE;  // the side at the press
  POINT StartedAt{};     // the window's top-left corner at the press
};
ButtonDrag Drag;

// The pictures for a side other than 50 (which the bitmap resources give), drawn when first
// shown. Those of the last two sides are kept, so a drag back and forth between two monitors
// does not draw them again.
struct DrawnPictures {
  std::int32_t Side = 0;
  std::array<UniqueGdiObject, 3> Bitmaps;  // by ButtonImage
};
std::array<DrawnPictures, 2> Drawn;  // the side used last first

HWND ButtonWindowHandle() { return AsWindow(AppState.ButtonWindow); }

void Invalidate(HWND window) { InvalidateRect(window, nullptr, FALSE); }

// The state shown changed: repaint, and tell screen readers.
void StateChanged(HWND window) {
  Invalidate(window);
  AnnounceButtonState(window);
}

// A device-independent bitmap of the picture drawn for this side.
HBITMAP DrawPicture(ButtonImage image, std::int32_t side) {
  const std::vector<std::uint8_t> rgb = DrawButtonPicture(image, side);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = -side;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) return bitmap;
  auto* out = static_cast<std::uint32_t*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(side) * side; ++i) {
    out[i] = static_cast<std::uint32_t>(rgb[i * 3]) << 16 | static_cast<std::uint32_t>(rgb[i * 3 + 1]) << 8 |
             rgb[i * 3 + 2];
  }
  return bitmap;
}

HBITMAP ButtonBitmap(std::int32_t side) {
  if (side != BUTTON_SIDE) {
    if (Drawn[0].Side != side) {
      std::swap(Drawn[0], Drawn[1]);
      if (Drawn[0].Side != side) {
        for (UniqueGdiObject& b : Drawn[0].Bitmaps) b.reset();
        Drawn[0].Side = side;
      }
    }
    UniqueGdiObject& slot = Drawn[0].Bitmaps[static_cast<std::size_t>(ChooseButtonImage(AppState))];
    if (!slot) slot.reset(DrawPicture(ChooseButtonImage(AppState), side));
    return static_cast<HBITMAP>(slot.get());
  }
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
  RECT client{};
  GetClientRect(window, &client);
  const std::int32_t side = client.right;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc) {
    UniqueMemoryDc memory(CreateCompatibleDC(dc));
    if (memory) {
      ScopedSelect select(memory.get(), ButtonBitmap(side));
      BitBlt(dc, 0, 0, side, side, memory.get(), 0, 0, SRCCOPY);
    }
  }
  EndPaint(window, &paint);
}

PixelRect ToPixelRect(const RECT& r) { return PixelRect{r.left, r.top, r.right, r.bottom}; }

UINT PrimaryDpi() { return DpiOfMonitor(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)); }

// The primary monitor's work area (the screen less a taskbar docked on it).
PixelRect PrimaryWorkArea() {
  RECT work{};
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return ToPixelRect(work);
}

PixelRect CurrentStartPlace() {
  return ButtonStartPlace(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), PrimaryWorkArea(),
                          PrimaryDpi());
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(monitor, &info)) {
    auto& monitors = *reinterpret_cast<std::vector<ButtonMonitor>*>(list);
    const ButtonMonitor m{ToPixelRect(info.rcMonitor), ToPixelRect(info.rcWork), DpiOfMonitor(monitor)};
    if (info.dwFlags & MONITORINFOF_PRIMARY) {
      monitors.insert(monitors.begin(), m);
      monitors.front().workArea = PrimaryWorkArea();  // the system's setting, which may be newer
    } else {
      monitors.push_back(m);
    }
  }
  return TRUE;
}

// Every monitor with its work area and scale, the primary one first.
std::vector<ButtonMonitor> Monitors() {
  std::vector<ButtonMonitor> monitors;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

PixelRect WindowPlace(HWND window) {
  RECT shown{};
  GetWindowRect(window, &shown);
  return ToPixelRect(shown);
}

// Moves the button, and redraws it when the place has another side.
void PlaceButton(HWND window, const PixelRect& place, HWND after, UINT flags) {
  const PixelRect before = WindowPlace(window);
  Drag.Placing = true;
  SetWindowPos(window, after, place.left, place.top, place.right - place.left, place.bottom - place.top,
               flags | SWP_NOACTIVATE);
  Drag.Placing = false;
  if (place.right - place.left != before.right - before.left) Invalidate(window);
}

// Resolution, orientation, monitors or their scales changed, or a taskbar moved: keep the button
// reachable and drawn for its monitor.
void DisplayChanged(HWND window) {
  if (Drag.Active) return;
  const PixelRect current = WindowPlace(window);
  const PixelRect start = CurrentStartPlace();
  const PixelRect place = ButtonPlaceAfterDisplayChange(current, AppState.ButtonDragged != 0, start, Monitors());
  if (place == start) AppState.ButtonDragged = 0;
  if (place != current) PlaceButton(window, place, HWND_TOPMOST, 0);
}

// The button sizes itself for each scale: the dialog manager of Windows 10 1703 on must not resize
// it as a dialog when its scale changes.
void KeepDialogManagerFromScaling(HWND window) {
  using SetBehaviourFn = BOOL(WINAPI*)(HWND, int, int);
  static const auto setBehaviour = reinterpret_cast<SetBehaviourFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
  constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
  if (setBehaviour) setBehaviour(window, kDisableAll, kDisableAll);
}

// One-shot: a single left click toggles 400 ms after the press unless a double click came first.
void CALLBACK SingleClickTimerProc(HWND window, UINT, UINT_PTR timer, DWORD) {
  if (ButtonClickTimerExpired(AppState)) StateChanged(window);
  KillTimer(window, timer);
}

// The release (moved or not) ends the drag: the button goes idle.
void EndDrag(HWND window) {
  if (!Drag.Active) return;
  Drag.Active = false;
  KillTimer(window, kDragTimer);
  if (GetCapture() == window) ReleaseCapture();
  const PixelRect shown = WindowPlace(window);
  if (shown.left != Drag.StartedAt.x || shown.top != Drag.StartedAt.y) AppState.ButtonDragged = 1;
  ButtonMoveEnded(AppState);
  StateChanged(window);
}

// Puts the dragged button under the pointer, drawn for the monitor under it.
void FollowPointer(HWND window) {
  POINT at{};
  if (!GetCursorPos(&at)) return;
  const PixelRect place = ButtonDragPlace(PixelPoint{at.x, at.y}, Drag.Grab, Drag.GrabSide, Monitors());
  if (place != WindowPlace(window)) PlaceButton(window, place, nullptr, SWP_NOZORDER);
}

// Follows the pointer while the button is held. The pointer is read rather than taken from mouse
// messages: those go to the window beneath once the pointer leaves the button, since a window
// that never becomes the foreground window cannot rely on the capture.
void CALLBACK DragTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  const bool held = PrimaryButtonHeld();  // first: the pointer read after a release is its last place
  FollowPointer(window);
  if (!held) EndDrag(window);
}

// The system moved the button to a monitor of another scale (or changed its monitor's scale).
// During a drag the monitor under the finger decides, as at every step of it; otherwise the button
// is redrawn for its monitor around its centre and kept reachable, as after a display change.
void ScaleChanged(HWND window) {
  if (Drag.Placing) return;  // sent from our own move, which has decided already
  if (Drag.Active) {
    FollowPointer(window);
  } else {
    DisplayChanged(window);
  }
}

void StartDrag(HWND window) {
  const PixelRect shown = WindowPlace(window);
  const DWORD pressedAt = GetMessagePos();
  Drag.Grab = PixelPoint{GET_X_LPARAM(pressedAt) - shown.left, GET_Y_LPARAM(pressedAt) - shown.top};
  Drag.GrabSide = shown.right - shown.left;
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

INT_PTR CALLBACK ButtonDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // A tap on the button never takes the foreground from the user's application.
      SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
      KeepDialogManagerFromScaling(window);
      return 1;
    case WM_MOUSEACTIVATE:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, MA_NOACTIVATE);
      return 1;
    case WM_LBUTTONDOWN:
      LeftButtonDown(window);
      return 1;
    case WM_LBUTTONDBLCLK:
      ButtonLeftDoubleClicked(AppState);
      StateChanged(window);
      return 1;
    case WM_RBUTTONDOWN:
      if (ButtonRightPressed(AppState)) StateChanged(window);
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
    case WM_DPICHANGED:
      ScaleChanged(window);
      return 1;
    case WM_GETOBJECT: {
      const LRESULT object = ButtonAccessibleObject(window, wParam, lParam);
      if (object == 0) return 0;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, object);
      return 1;
    }
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
  SetWindowPos(window, HWND_TOPMOST, start.left, start.top, start.right - start.left, start.bottom - start.top,
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
  if (window) StateChanged(window);  // both calls may come from any thread
}
