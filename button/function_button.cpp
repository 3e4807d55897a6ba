#include "button/function_button.h"

#include <windows.h>

#include "win/win_handles.h"
#include "button/function_button_logic.h"
#include "core/app_state.h"
#include "res/resource_ids.h"

namespace {

constexpr int kButtonSide = 50;
constexpr int kRightMargin = 60;    // from the right edge of the screen to the button's left edge
constexpr int kBottomMargin = 120;  // from the bottom edge to the button's top edge
constexpr UINT_PTR kClickTimer = 0;
constexpr UINT kClickTimeMs = 400;

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
      BitBlt(dc, 0, 0, kButtonSide, kButtonSide, memory.get(), 0, 0, SRCCOPY);
    }
  }
  EndPaint(window, &paint);
}

// One-shot: a single left click toggles 400 ms after the press unless a double click came first.
void CALLBACK SingleClickTimerProc(HWND window, UINT, UINT_PTR timer, DWORD) {
  if (ButtonClickTimerExpired(AppState)) Invalidate(window);
  KillTimer(window, timer);
}

void LeftButtonDown(HWND window) {
  if (ButtonLeftPressed(AppState) == ButtonLeftPress::StartClickTimer) {
    SetTimer(window, kClickTimer, kClickTimeMs, SingleClickTimerProc);
    return;
  }
  // The system's move loop runs until the button is released.
  SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
  ButtonMoveEnded(AppState);
  Invalidate(window);
}

INT_PTR CALLBACK ButtonDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
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
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  SetWindowPos(window, HWND_TOPMOST, screenWidth - kRightMargin, screenHeight - kBottomMargin, kButtonSide,
               kButtonSide, SWP_HIDEWINDOW);
}

void ApplyButtonVisibility(std::uint32_t buttonSetup) {
  HWND window = ButtonWindowHandle();
  if (!window) return;
  ShowWindow(window, (buttonSetup & SETUP_FUNCTION_BUTTON) != 0 ? SW_SHOW : SW_HIDE);
}

void RepaintButtonWindow() {
  HWND window = ButtonWindowHandle();
  if (window) Invalidate(window);
}
