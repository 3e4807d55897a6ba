#include "feedback/indicator_window.h"

#include <atomic>

#include "win/win_handles.h"
#include "core/app_state.h"
#include "feedback/indicator_placement.h"
#include "feedback/indicator_rotation.h"
#include "feedback/rotate_indicator_win.h"
#include "res/resource_ids.h"

namespace {

// Posted by ShowIndicator from any thread; the UI thread places the window and starts the turn.
constexpr UINT WM_INDICATOR_SHOW = WM_APP + 1;
// Raised by ShowIndicator before it posts; the handler takes it. A post of the same number from
// another process finds it down and does nothing.
std::atomic<std::uint32_t> ShowRequested{0};

constexpr UINT_PTR kSpinTimer = 0;
constexpr UINT kTickMs = 40;
constexpr float kTurnPerTick = 15.0f;
constexpr float kFullTurn = 360.0f;
constexpr std::int32_t kTicksPerShowing = 24;

void CALLBACK IndicatorTick(HWND window, UINT, UINT_PTR timer, DWORD) {
  float angle = AppState.IndicatorAngle + kTurnPerTick;
  if (angle >= kFullTurn) angle -= kFullTurn;
  AppState.IndicatorAngle = angle;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  if (--AppState.IndicatorTicksLeft <= 0) {
    AppState.IndicatorTicksLeft = 0;
    ShowWindow(window, SW_HIDE);
    KillTimer(window, timer);
  }
}

// The hook's point (physical pixels) in this program's coordinates. The conversion exists from
// Windows 8.1 on; where it is missing or fails, the caller keeps the point as it was.
std::optional<ScreenPoint> ConvertHookPoint(HWND window, ScreenPoint physical) {
  using Convert = BOOL(WINAPI*)(HWND, LPPOINT);
  static const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "PhysicalToLogicalPointForPerMonitorDPI")));
  if (!convert) return std::nullopt;
  POINT point{physical.x, physical.y};
  if (!convert(window, &point)) return std::nullopt;
  return ScreenPoint{point.x, point.y};
}

PointerReadings ReadPointer(HWND window) {
  PointerReadings readings;
  POINT cursor{};
  if (GetCursorPos(&cursor)) readings.Cursor = ScreenPoint{cursor.x, cursor.y};
  if (AppState.PointerSeen.load(std::memory_order_acquire) != 0) {
    const ScreenPoint hook{AppState.PointerX.load(std::memory_order_relaxed),
                           AppState.PointerY.load(std::memory_order_relaxed)};
    readings.HookPoint = hook;
    if (!readings.Cursor) readings.HookPointConverted = ConvertHookPoint(window, hook);
  }
  return readings;
}

// Runs on the UI thread, between two ticks: a tick sees either the old showing or the new one.
void StartIndicator(HWND window) {
  if ((AppState.ButtonSetup.load(std::memory_order_acquire) & SETUP_RIGHT_FLASH) == 0) return;
  const std::optional<ScreenPoint> centre = IndicatorCentre(ReadPointer(window));
  if (!centre) return;
  // Reset first, so that any paint the placement causes already draws the upright frame.
  AppState.IndicatorAngle = 0.0f;
  AppState.IndicatorTicksLeft = kTicksPerShowing;
  const ScreenPoint topLeft = IndicatorTopLeft(*centre);
  // Shown without taking the foreground from the user's application.
  SetWindowPos(window, HWND_TOPMOST, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  // A restart during a turn moves the old frame along; draw the upright one.
  InvalidateRect(window, nullptr, FALSE);
  SetTimer(window, kSpinTimer, kTickMs, IndicatorTick);
}

void PaintIndicator(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (!dc) return;
  bool drawn = false;
  {
    UniqueMemoryDc source(CreateCompatibleDC(dc));
    if (source) {
      ScopedSelect select(source.get(), AppState.IndicatorBitmap);
      const RotatedIndicator frame = RotateIndicator(source.get());
      if (frame.dc) {
        drawn = BitBlt(dc, IndicatorFrameOffset(frame.width), IndicatorFrameOffset(frame.height), frame.width,
                       frame.height, frame.dc.get(), 0, 0, SRCCOPY) != 0;
      }
    }
  }
  if (!drawn) {
    // No frame could be made: all black, which the colour key shows as nothing at all.
    RECT whole{0, 0, INDICATOR_SIDE, INDICATOR_SIDE};
    FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  EndPaint(window, &paint);
}

INT_PTR CALLBACK IndicatorDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // Every tap goes through to the window beneath, on the discs too (they cover the context
      // menu that the right click has just opened), and the ring never takes the foreground.
      SetWindowLongW(window, GWL_EXSTYLE,
                     GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE);
      SetLayeredWindowAttributes(window, RGB(0, 0, 0), 0, LWA_COLORKEY);
      return 1;
    case WM_MOUSEACTIVATE:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, MA_NOACTIVATE);
      return 1;
    case WM_PAINT:
      PaintIndicator(window);
      return 1;
    case WM_INDICATOR_SHOW:
      if (ShowRequested.exchange(0, std::memory_order_acq_rel) != 0) StartIndicator(window);
      return 1;
    default:
      return 0;
  }
}

}  // namespace

void CreateIndicatorWindow() {
  HWND window = CreateDialogParamW(AsInstance(AppState.Instance), MAKEINTRESOURCEW(IDD_POPUP),
                                   AsWindow(AppState.MainWindow), IndicatorDialogProc, 0);
  AppState.IndicatorWindow = window;
  if (!window) return;
  SetWindowPos(window, HWND_TOPMOST, 0, 0, INDICATOR_SIDE, INDICATOR_SIDE, SWP_HIDEWINDOW | SWP_NOACTIVATE);
}

void ShowIndicator() {
  HWND window = AsWindow(AppState.IndicatorWindow);
  if (!window) return;
  ShowRequested.store(1, std::memory_order_release);
  PostMessageW(window, WM_INDICATOR_SHOW, 0, 0);
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM event) {
  if (code >= 0 && message == WM_MOUSEMOVE) {
    const auto* move = reinterpret_cast<const MSLLHOOKSTRUCT*>(event);
    AppState.PointerX.store(move->pt.x, std::memory_order_relaxed);
    AppState.PointerY.store(move->pt.y, std::memory_order_relaxed);
    AppState.PointerSeen.store(1, std::memory_order_release);
  }
  return CallNextHookEx(static_cast<HHOOK>(AppState.MouseHook), code, message, event);
}
