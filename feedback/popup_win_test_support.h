// Helpers for the tests of the indicator and the function button: message pumping, screen pixels
// and injected mouse input.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "win/win_handles.h"

// Dispatches this thread's messages until done() holds (checked after every message and whenever
// wake is signalled) or the time is up. Hook calls and timer callbacks run in here.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HANDLE wake = nullptr) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&message);
      if (done()) return true;
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(wake ? 1 : 0, &wake, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

inline void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// Waits without dispatching any message, so no timer callback runs, while letting painted windows
// reach the screen: a peek that finds nothing makes Wine copy window surfaces out.
inline void WaitWithoutDispatching(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  constexpr UINT kNoSuchMessage = WM_APP + 0x3FFF;
  MSG message;
  while (GetTickCount64() < end) {
    PeekMessageW(&message, nullptr, kNoSuchMessage, kNoSuchMessage, PM_NOREMOVE);
    Sleep(10);
  }
}

inline RECT WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

inline std::uint32_t Rgb(COLORREF c) {
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// Screen pixels of a rectangle as the user sees them, top-down, 0x00RRGGBB.
inline std::vector<std::uint32_t> CaptureScreen(int x, int y, int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0);
  HDC screen = GetDC(nullptr);
  UniqueMemoryDc memory(CreateCompatibleDC(screen));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject dib(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (dib && memory && bits) {
    ScopedSelect select(memory.get(), dib.get());
    BitBlt(memory.get(), 0, 0, width, height, screen, x, y, SRCCOPY);
    GdiFlush();
    const auto* words = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = words[i] & 0x00FFFFFFu;
  }
  ReleaseDC(nullptr, screen);
  return pixels;
}

// A mouse event; with MOUSEEVENTF_ABSOLUTE it lands on pixel `at` of the primary screen.
inline INPUT MouseInput(DWORD flags, POINT at = {}, DWORD data = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    const long long w = GetSystemMetrics(SM_CXSCREEN);
    const long long h = GetSystemMetrics(SM_CYSCREEN);
    input.mi.dx = static_cast<LONG>((at.x * 65536LL + w - 1) / w);
    input.mi.dy = static_cast<LONG>((at.y * 65536LL + h - 1) / h);
  }
  input.mi.mouseData = data;
  input.mi.dwFlags = flags;
  return input;
}

// Injects input from another thread, as another process's would be. SendInput waits for low-level
// hooks, which run on this thread, so this one keeps dispatching meanwhile.
inline bool SendInputFromOtherThread(const std::vector<INPUT>& inputs) {
  static std::vector<INPUT> pending;
  pending = inputs;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        SendInput(static_cast<UINT>(pending.size()), pending.data(), sizeof(INPUT));
        return 0;
      },
      nullptr, 0, nullptr);
  if (!thread) return false;
  const bool sent = PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 5000, thread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return sent;
}

// The user's application: a captioned window that has the foreground, as the app in front of a
// kiosk does. Null when it could not be made or did not get the foreground.
inline HWND ShowUserApplication(int x, int y, int width, int height) {
  HWND app = CreateWindowExW(0, L"STATIC", L"user's application", WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!app) return nullptr;
  ShowWindow(app, SW_SHOW);
  SetForegroundWindow(app);
  if (!PumpUntil([&] { return GetForegroundWindow() == app; }, 2000)) {
    DestroyWindow(app);
    return nullptr;
  }
  return app;
}
