#include "feedback/mouse_hook.h"

#include <utility>

#include "core/app_state.h"
#include "win/win_handles.h"

namespace {

// UI thread only.
UniqueHandle HookThread;
DWORD HookThreadId = 0;

// Filled by the hook's thread before it sets StartedEvent; read by the starter after the signal.
struct HookStart {
  HANDLE StartedEvent = nullptr;
  DWORD Error = ERROR_SUCCESS;
};

DWORD WINAPI HookThreadMain(void* param) {
  auto* start = static_cast<HookStart*>(param);
  // The queue exists before the start returns, so a stop's WM_QUIT is never posted to nothing.
  MSG message;
  PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  // The hook's calls arrive as this thread's messages: served ahead of the program's other work
  // when the processor is scarce.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, MouseHookProc, GetModuleHandleW(nullptr), 0);
  start->Error = hook ? ERROR_SUCCESS : GetLastError();
  SetEvent(start->StartedEvent);  // the starter's record is not touched after this
  if (!hook) return 1;
  // The system calls the hook from inside GetMessageW; the thread has no windows, and the only
  // message posted to it is the stop's WM_QUIT.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
  }
  UnhookWindowsHookEx(hook);
  return 0;
}

}  // namespace

DWORD StartMouseHookThread() {
  if (HookThread) return ERROR_SUCCESS;
  UniqueHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!started) return GetLastError();
  HookStart start;
  start.StartedEvent = started.get();
  DWORD id = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, HookThreadMain, &start, 0, &id));
  if (!thread) return GetLastError();
  const HANDLE waits[] = {started.get(), thread.get()};
  // The thread signals before it can end; its end alone would mean it never got that far.
  const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (waited != WAIT_OBJECT_0) return waited == WAIT_FAILED ? GetLastError() : ERROR_GEN_FAILURE;
  if (start.Error != ERROR_SUCCESS) {
    WaitForSingleObject(thread.get(), INFINITE);
    return start.Error;
  }
  HookThread = std::move(thread);
  HookThreadId = id;
  return ERROR_SUCCESS;
}

bool StopMouseHookThread(DWORD timeoutMs) {
  if (!HookThread) return true;
  PostThreadMessageW(HookThreadId, WM_QUIT, 0, 0);
  if (WaitForSingleObject(HookThread.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  HookThread.reset();
  HookThreadId = 0;
  return true;
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM message, LPARAM event) {
  if (code >= 0 && message == WM_MOUSEMOVE) {
    const auto* move = reinterpret_cast<const MSLLHOOKSTRUCT*>(event);
    AppState.Pointer.store(PointerWord(move->pt.x, move->pt.y), std::memory_order_relaxed);
    AppState.PointerSeen.store(1, std::memory_order_release);
  }
  // The first parameter is ignored since Windows NT; the hook's handle stays on its thread.
  return CallNextHookEx(nullptr, code, message, event);
}
