// Every question about a display's scale is asked here: the scale of a monitor, a window, a point,
// the cursor. The calls exist from Windows 8.1 (monitors) and Windows 10 1607 (windows) on and are
// looked up at run time; without them the system's scale answers.
#pragma once

#include <windows.h>

#include "core/display_scale.h"

// Dots per inch of the whole system (the primary monitor at logon).
inline UINT SystemDpi() {
  using GetDpiForSystemFn = UINT(WINAPI*)();
  static const auto getDpiForSystem = reinterpret_cast<GetDpiForSystemFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")));
  if (getDpiForSystem) {
    const UINT dpi = getDpiForSystem();
    if (dpi) return dpi;
  }
  UINT dpi = BASE_DPI;
  if (HDC screen = GetDC(nullptr)) {
    dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
  }
  return dpi ? dpi : BASE_DPI;
}

// Dots per inch of a monitor (its effective scale).
inline UINT DpiOfMonitor(HMONITOR monitor) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpiForMonitor = [] {
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
  }();
  UINT x = 0, y = 0;
  if (monitor && getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x) {
    return x;
  }
  return SystemDpi();
}

// Dots per inch of the monitor under a point (the nearest one when the point is off every monitor).
inline UINT DpiOfPoint(POINT point) { return DpiOfMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST)); }

// Dots per inch a window is drawn for.
inline UINT DpiOfWindow(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (window && getDpiForWindow) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi) return dpi;
  }
  return window ? DpiOfMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)) : SystemDpi();
}

// Dots per inch under the cursor.
inline UINT DpiOfCursor() {
  POINT cursor{};
  if (!GetCursorPos(&cursor)) return SystemDpi();
  return DpiOfPoint(cursor);
}

// WM_DPICHANGED: the window takes the rectangle the system suggests for the new scale (lParam).
inline void MoveToSuggestedRect(HWND window, LPARAM suggestedRect) {
  const RECT* suggested = reinterpret_cast<const RECT*>(suggestedRect);
  SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}
