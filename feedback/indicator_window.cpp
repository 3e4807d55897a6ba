#include "feedback/indicator_window.h"

#include <array>
#include <atomic>
#include <vector>

#include "win/dpi_scale.h"
#include "win/win_handles.h"
#include "core/app_state.h"
#include "feedback/indicator_accessible.h"
#include "feedback/indicator_placement.h"
#include "feedback/indicator_rotation.h"
#include "feedback/indicator_source.h"
#include "feedback/rotate_indicator_win.h"
#include "res/resource_ids.h"

namespace {

// Posted by ShowIndicator from any thread; the UI thread places the window and starts the turn.
constexpr UINT WM_INDICATOR_SHOW = WM_APP + 1;
// Raised by ShowIndicator before it posts; the handler takes it. A post of the same number from
// another process finds it down and does nothing.
std::atomic<std::uint32_t> ShowRequested{0};

// Sent before WM_DPICHANGED so that a window can choose its size (Windows 10 1703 on).
constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE

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

// The cursor and the hook's point, both in physical pixels (the program is aware of each
// monitor's scale).
PointerReadings ReadPointer() {
  PointerReadings readings;
  POINT cursor{};
  if (GetCursorPos(&cursor)) readings.Cursor = ScreenPoint{cursor.x, cursor.y};
  if (AppState.PointerSeen.load(std::memory_order_acquire) != 0) {
    const std::uint64_t word = AppState.Pointer.load(std::memory_order_relaxed);
    readings.HookPoint = ScreenPoint{PointerWordX(word), PointerWordY(word)};
  }
  return readings;
}

// The monitors and their scales, as many as the buffer holds.
struct MonitorList {
  std::array<MonitorScale, 16> items{};
  std::size_t count = 0;
};

MonitorList ReadMonitors() {
  MonitorList list;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR monitor, HDC, LPRECT place, LPARAM param) -> BOOL {
        auto* found = reinterpret_cast<MonitorList*>(param);
        if (found->count == found->items.size()) return FALSE;
        found->items[found->count++] = MonitorScale{place->left, place->top, place->right, place->bottom,
                                                    DpiOfMonitor(monitor)};
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&list));
  return list;
}

// The ring's source for the showing: bitmap 150 at 100 %, otherwise the ring drawn at that side,
// kept for the next showings at the same scales (the two latest). UI thread only.
struct DrawnSource {
  int side = 0;
  UniqueGdiObject bitmap;
};
std::array<DrawnSource, 2> DrawnSources;
int RingSide = INDICATOR_SIDE;
HBITMAP RingBitmap = nullptr;  // null: bitmap 150

HBITMAP DrawnSourceFor(int side) {
  for (DrawnSource& source : DrawnSources) {
    if (source.side == side && source.bitmap) return static_cast<HBITMAP>(source.bitmap.get());
  }
  const std::vector<std::uint32_t> pixels = DrawIndicatorSource(side);
  if (pixels.empty()) return nullptr;
  HDC screen = GetDC(nullptr);
  if (!screen) return nullptr;
  UniqueGdiObject bitmap(CreateCompatibleBitmap(screen, side, side));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = -side;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const bool stored = bitmap && SetDIBits(screen, static_cast<HBITMAP>(bitmap.get()), 0, static_cast<UINT>(side),
                                          pixels.data(), &info, DIB_RGB_COLORS) == side;
  ReleaseDC(nullptr, screen);
  if (!stored) return nullptr;
  // The older of the two goes.
  DrawnSources[1] = std::move(DrawnSources[0]);
  DrawnSources[0].side = side;
  DrawnSources[0].bitmap = std::move(bitmap);
  return static_cast<HBITMAP>(DrawnSources[0].bitmap.get());
}

// Runs on the UI thread, between two ticks: a tick sees either the old showing or the new one.
void StartIndicator(HWND window) {
  if ((AppState.ButtonSetup.load(std::memory_order_acquire) & SETUP_RIGHT_FLASH) == 0) return;
  const std::optional<ScreenPoint> centre = IndicatorCentre(ReadPointer());
  if (!centre) return;
  const MonitorList monitors = ReadMonitors();
  IndicatorPlacement place =
      PlaceIndicator(*centre, std::span<const MonitorScale>(monitors.items.data(), monitors.count), SystemDpi());
  HBITMAP source = place.drawnSource ? DrawnSourceFor(place.side) : nullptr;
  if (place.drawnSource && !source) {
    // The drawing could not be made: the 100 % ring rather than none.
    place = PlaceIndicator(*centre, {}, BASE_DPI);
  }
  // Reset first, so that any paint the placement causes already draws the upright frame.
  AppState.IndicatorAngle = 0.0f;
  AppState.IndicatorTicksLeft = kTicksPerShowing;
  RingSide = place.side;
  RingBitmap = source;
  // Shown without taking the foreground from the user's application.
  SetWindowPos(window, HWND_TOPMOST, place.topLeft.x, place.topLeft.y, place.side, place.side,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
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
    HBITMAP bitmap = RingBitmap ? RingBitmap : AsBitmap(AppState.IndicatorBitmap);
    if (source && bitmap) {
      ScopedSelect select(source.get(), bitmap);
      const RotatedIndicator frame = RotateIndicator(source.get(), bitmap, RingSide);
      if (frame.dc) {
        drawn = BitBlt(dc, IndicatorFrameOffset(frame.width, RingSide), IndicatorFrameOffset(frame.height, RingSide),
                       frame.width, frame.height, frame.dc.get(), 0, 0, SRCCOPY) != 0;
      }
    }
  }
  if (!drawn) {
    // No frame could be made: all black, which the colour key shows as nothing at all.
    RECT whole{0, 0, RingSide, RingSide};
    FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  EndPaint(window, &paint);
}

// Dialogs of a program aware of each monitor's scale are resized by the system when they reach a
// monitor of another scale (Windows 10 1703 on); the ring sizes itself.
void KeepSizeOnScaleChange(HWND window) {
  using SetBehaviour = BOOL(WINAPI*)(HWND, int, int);
  static const auto setBehaviour = reinterpret_cast<SetBehaviour>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
  constexpr int kDisableAll = 0x0001;  // DDC_DISABLE_ALL
  if (setBehaviour) setBehaviour(window, kDisableAll, kDisableAll);
}

INT_PTR CALLBACK IndicatorDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      // Every tap goes through to the window beneath, on the discs too (they cover the context
      // menu that the right click has just opened), and the ring never takes the foreground.
      SetWindowLongW(window, GWL_EXSTYLE,
                     GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE);
      SetLayeredWindowAttributes(window, RGB(0, 0, 0), 0, LWA_COLORKEY);
      KeepSizeOnScaleChange(window);
      return 1;
    case kGetDpiScaledSize: {
      // The ring keeps the size it was given for the touched monitor, whichever monitor it lies on.
      RECT place{};
      GetWindowRect(window, &place);
      auto* size = reinterpret_cast<SIZE*>(lParam);
      size->cx = place.right - place.left;
      size->cy = place.bottom - place.top;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return 1;
    }
    case WM_DPICHANGED:
      // Placed mostly over a monitor of another scale: keep the place and size chosen for the touch,
      // not the suggested rectangle.
      SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
      return 1;
    case WM_GETOBJECT:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, AnswerRingAccessibility(wParam, lParam));
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
