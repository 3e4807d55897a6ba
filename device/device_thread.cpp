#include "device/device_thread.h"

#include <dbt.h>

#include "button/function_button.h"
#include "core/app_state.h"
#include "core/command_handover.h"
#include "device/device_discovery.h"
#include "device/device_loop.h"
#include "feedback/indicator_window.h"
#include "feedback/sound_cues.h"
#include "win/win_handles.h"

namespace {

// Set once before the thread starts, read only by the thread.
DeviceStatusActions StatusActions;

// Auto-reset: set by whoever raises a request for the device thread (command_handover.h).
HANDLE WakeEvent = nullptr;
HANDLE ThreadHandle = nullptr;

constexpr DWORD kWriteStopCheckMs = 100;

// The open device's overlapped transfers. At most one 1-byte read is outstanding; it outlives a
// pass that a wake ended, and its byte lands in ReadByte.
struct DeviceIo {
  OVERLAPPED ReadIo{};
  OVERLAPPED WriteIo{};
  bool ReadOutstanding = false;
  std::uint8_t ReadByte = 0;
  DWORD LastError = 0;
  HDEVNOTIFY RemovalNotice = nullptr;
};

DeviceIo& Io(void* context) { return *static_cast<DeviceIo*>(context); }

// Opened for overlapped I/O, so a wait in a read held by the driver can end on a wake while the
// read stays outstanding. The main window hears of the handle's removal (query and completion).
bool OpenDevice(void* context, const wchar_t* path, DeviceHandle* device) {
  DeviceIo& io = Io(context);
  HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    io.LastError = GetLastError();
    return false;
  }
  DEV_BROADCAST_HANDLE filter{};
  filter.dbch_size = sizeof(filter);
  filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
  filter.dbch_handle = handle;
  io.RemovalNotice = RegisterDeviceNotificationW(AsWindow(AppState.MainWindow), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  io.ReadOutstanding = false;
  *device = handle;
  return true;
}

// Waited for; a write the driver never completes is given up when the program ends.
bool WriteDevice(void* context, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count,
                 std::uint32_t* written) {
  DeviceIo& io = Io(context);
  DWORD done = 0;
  *written = 0;
  if (!WriteFile(device, bytes, count, nullptr, &io.WriteIo)) {
    if (GetLastError() != ERROR_IO_PENDING) return false;
    while (WaitForSingleObject(io.WriteIo.hEvent, kWriteStopCheckMs) == WAIT_TIMEOUT) {
      if (AppState.DeviceStopPending.load(std::memory_order_acquire)) CancelIoEx(device, &io.WriteIo);
    }
  }
  const BOOL ok = GetOverlappedResult(device, &io.WriteIo, &done, TRUE);
  *written = done;
  return ok != FALSE;
}

DeviceReadResult ReadDevice(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) {
  DeviceIo& io = Io(context);
  *count = 0;
  if (!io.ReadOutstanding) {
    if (!ReadFile(device, &io.ReadByte, 1, nullptr, &io.ReadIo) && GetLastError() != ERROR_IO_PENDING) {
      io.LastError = GetLastError();
      return DeviceReadResult::Failed;
    }
    io.ReadOutstanding = true;
  }
  // The read comes first: when both are signalled the byte is taken and the wake stays set.
  HANDLE waits[2] = {io.ReadIo.hEvent, WakeEvent};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (woke == WAIT_OBJECT_0 + 1) return DeviceReadResult::Woken;
  if (woke != WAIT_OBJECT_0) {
    io.LastError = GetLastError();
    return DeviceReadResult::Failed;
  }
  io.ReadOutstanding = false;
  DWORD done = 0;
  if (!GetOverlappedResult(device, &io.ReadIo, &done, FALSE)) {
    io.LastError = GetLastError();
    return DeviceReadResult::Failed;
  }
  *byte = io.ReadByte;
  *count = done;
  return DeviceReadResult::Done;
}

void CloseDevice(void* context, DeviceHandle device) {
  DeviceIo& io = Io(context);
  if (io.ReadOutstanding) {
    CancelIoEx(device, &io.ReadIo);
    DWORD ignored = 0;
    GetOverlappedResult(device, &io.ReadIo, &ignored, TRUE);
    io.ReadOutstanding = false;
  }
  if (io.RemovalNotice) UnregisterDeviceNotification(io.RemovalNotice);
  io.RemovalNotice = nullptr;
  CloseHandle(device);
}

// A pause that a stop or a session change cuts short, and, while the controller is open (the pause
// after an event), a queued command too. The retry tail's pauses come after the handle is closed,
// so commands waiting for a connection do not hurry the retries.
bool PauseEnds() {
  if (DeviceAttentionPending(AppState)) return true;
  return AppState.OpenDevice.load(std::memory_order_acquire) != nullptr &&
         (IsPending(AppState.SetupPending) || IsPending(AppState.ButtonCommandPending));
}

void PauseDevice(void*, std::uint32_t milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    if (PauseEnds()) return;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    WaitForSingleObject(WakeEvent, static_cast<DWORD>(end - now));
  }
}

DevicePlatform WindowsDevicePlatform(DeviceIo& io) {
  DevicePlatform p;
  p.Context = &io;
  p.FindPath = [](void*, AppStateRecord& state) { return FindDevicePath(state); };
  p.Open = OpenDevice;
  p.Write = WriteDevice;
  p.Read = ReadDevice;
  p.Close = CloseDevice;
  p.LastError = [](void* context) -> std::uint32_t { return Io(context).LastError; };
  p.Sleep = PauseDevice;
  p.WaitForWake = [](void*) { WaitForSingleObject(WakeEvent, INFINITE); };
  p.PlayCue = [](void*, SoundCue cue) { PlayCue(cue); };
  p.ShowIndicator = [](void*) { ShowIndicator(); };
  p.RepaintButton = [](void*) { RepaintButtonWindow(); };
  p.ShowLog = [](void*) { StatusActions.ShowLog(); };
  p.ClearLog = [](void*) { StatusActions.ClearLog(); };
  p.ShowStatusWindow = [](void*) { StatusActions.ShowStatusWindow(); };
  p.StartDelayedHide = [](void*) { StatusActions.StartDelayedHide(); };
  p.Notice = [](void*, DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
    if (StatusActions.Notice) StatusActions.Notice(notice, error, path);
  };
  return p;
}

}  // namespace

DWORD WINAPI DeviceLoop(void*) {
  DeviceIo io;
  UniqueHandle readDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueHandle writeDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!readDone || !writeDone) return GetLastError();
  io.ReadIo.hEvent = readDone.get();
  io.WriteIo.hEvent = writeDone.get();
  const DevicePlatform platform = WindowsDevicePlatform(io);
  DeviceLoopState loop;
  RunDeviceLoop(AppState, platform, loop);
  return 0;
}

DWORD StartDeviceThread(const DeviceStatusActions& actions) {
  StatusActions = actions;
  if (!WakeEvent) WakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!WakeEvent) return GetLastError();
  AppState.WakeDeviceThread.store([] { SetEvent(WakeEvent); }, std::memory_order_release);
  ThreadHandle = CreateThread(nullptr, 0, DeviceLoop, nullptr, 0, nullptr);
  if (!ThreadHandle) return GetLastError();
  return ERROR_SUCCESS;
}

bool StopDeviceThread(DWORD timeoutMs) {
  if (!ThreadHandle) return true;
  RequestDeviceStop(AppState);
  return WaitForSingleObject(ThreadHandle, timeoutMs) == WAIT_OBJECT_0;
}
