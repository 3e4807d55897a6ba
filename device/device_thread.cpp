#include "device/device_thread.h"

#include <dbt.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <utility>
#include <vector>

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

// One overlapped transfer: its OVERLAPPED, its buffer and its event live on the heap together. A
// transfer whose cancel the driver does not complete in time is abandoned, never freed while the
// driver may still write it (it is reclaimed once the system marks it complete).
struct Transfer {
  OVERLAPPED Overlapped{};
  std::array<std::uint8_t, 4> Buffer{};
  UniqueHandle Event;
  bool Outstanding = false;
};
using TransferSlot = std::unique_ptr<Transfer>;

// The open device's transfers: at most one 1-byte read and one write outstanding. A read outlives
// a pass that a wake ended, and its byte lands in its buffer.
struct DeviceIo {
  TransferSlot Read;
  TransferSlot Write;
  std::vector<TransferSlot> Abandoned;
  DWORD LastError = 0;
  HDEVNOTIFY RemovalNotice = nullptr;
};

DeviceIo& DeviceIoOf(void* context) { return *static_cast<DeviceIo*>(context); }

// Frees abandoned transfers that the system has completed since; the rest stay.
void ReclaimAbandoned(DeviceIo& io) {
  io.Abandoned.erase(std::remove_if(io.Abandoned.begin(), io.Abandoned.end(),
                                    [](const TransferSlot& t) { return HasOverlappedIoCompleted(&t->Overlapped); }),
                     io.Abandoned.end());
}

// Makes sure the slot holds a transfer for the next one to start (a fresh one after an
// abandonment). False when out of memory or events.
bool EnsureTransfer(TransferSlot& slot) {
  if (slot) return true;
  TransferSlot transfer(new (std::nothrow) Transfer);
  if (!transfer) return false;
  transfer->Event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!transfer->Event) return false;
  transfer->Overlapped.hEvent = transfer->Event.get();
  slot = std::move(transfer);
  return true;
}

// Cancels an outstanding transfer and waits up to the deadline for the driver to end it. False:
// not ended; the transfer is abandoned (kept alive) and its slot emptied.
bool FinishCancelled(DeviceIo& io, HANDLE device, TransferSlot& slot, ULONGLONG deadline) {
  if (!slot || !slot->Outstanding) return true;
  CancelIoEx(device, &slot->Overlapped);
  const ULONGLONG now = GetTickCount64();
  const DWORD wait = deadline > now ? static_cast<DWORD>(deadline - now) : 0;
  if (WaitForSingleObject(slot->Overlapped.hEvent, wait) != WAIT_OBJECT_0) {
    io.Abandoned.push_back(std::move(slot));
    return false;
  }
  slot->Outstanding = false;
  return true;
}

// Opened for overlapped I/O, so a wait in a transfer held by the driver can end on a wake while
// the transfer stays outstanding. The main window hears of the handle's removal (query, failed
// query and completion).
bool OpenDevice(void* context, const wchar_t* path, DeviceHandle* device) {
  DeviceIo& io = DeviceIoOf(context);
  ReclaimAbandoned(io);
  if (!EnsureTransfer(io.Read) || !EnsureTransfer(io.Write)) {
    io.LastError = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
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
  *device = handle;
  return true;
}

// Waits for the write and for a wake together. A write not done within heldAfterMs (the loop
// gives DEVICE_WRITE_HELD_MS while a read is outstanding) is reported held (the loop cancels the
// read). With none, the write is waited for as long as the driver holds it (a driver may hold it
// until the next touch): only a wake ends that wait.
static_assert(DEVICE_WAIT_FOREVER == INFINITE);
DeviceIoResult WriteDevice(void* context, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count,
                           std::uint32_t heldAfterMs, std::uint32_t* written) {
  DeviceIo& io = DeviceIoOf(context);
  *written = 0;
  if (!EnsureTransfer(io.Write)) {
    io.LastError = ERROR_NOT_ENOUGH_MEMORY;
    return DeviceIoResult::Failed;
  }
  Transfer& write = *io.Write;
  if (!write.Outstanding) {
    const std::uint32_t size = count < write.Buffer.size() ? count : static_cast<std::uint32_t>(write.Buffer.size());
    std::copy(bytes, bytes + size, write.Buffer.begin());
    if (!WriteFile(device, write.Buffer.data(), size, nullptr, &write.Overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
      io.LastError = GetLastError();
      return DeviceIoResult::Failed;
    }
    write.Outstanding = true;
  }
  HANDLE waits[2] = {write.Overlapped.hEvent, WakeEvent};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, heldAfterMs);
  if (woke == WAIT_OBJECT_0 + 1) return DeviceIoResult::Woken;
  if (woke == WAIT_TIMEOUT) return DeviceIoResult::Held;
  // The wait itself failed: the write is cancelled.
  if (woke != WAIT_OBJECT_0 && !FinishCancelled(io, device, io.Write, GetTickCount64() + DEVICE_CANCEL_WAIT_MS)) {
    io.LastError = ERROR_TIMEOUT;
    return DeviceIoResult::Stuck;
  }
  write.Outstanding = false;
  DWORD done = 0;
  if (!GetOverlappedResult(device, &write.Overlapped, &done, FALSE)) {
    io.LastError = GetLastError();
    return DeviceIoResult::Failed;
  }
  *written = done;
  return DeviceIoResult::Done;
}

DeviceIoResult ReadDevice(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) {
  DeviceIo& io = DeviceIoOf(context);
  *count = 0;
  if (!EnsureTransfer(io.Read)) {
    io.LastError = ERROR_NOT_ENOUGH_MEMORY;
    return DeviceIoResult::Failed;
  }
  Transfer& read = *io.Read;
  if (!read.Outstanding) {
    if (!ReadFile(device, read.Buffer.data(), 1, nullptr, &read.Overlapped) && GetLastError() != ERROR_IO_PENDING) {
      io.LastError = GetLastError();
      return DeviceIoResult::Failed;
    }
    read.Outstanding = true;
  }
  // The read comes first: when both are signalled the byte is taken and the wake stays set.
  HANDLE waits[2] = {read.Overlapped.hEvent, WakeEvent};
  const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  if (woke == WAIT_OBJECT_0 + 1) return DeviceIoResult::Woken;
  if (woke != WAIT_OBJECT_0) {
    io.LastError = GetLastError();
    return DeviceIoResult::Failed;
  }
  read.Outstanding = false;
  DWORD done = 0;
  if (!GetOverlappedResult(device, &read.Overlapped, &done, FALSE)) {
    io.LastError = GetLastError();
    return DeviceIoResult::Failed;
  }
  *byte = read.Buffer[0];
  *count = done;
  return DeviceIoResult::Done;
}

// The read is cancelled so that a write can go through; a byte it had already read is handed back.
DeviceIoResult CancelReadDevice(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) {
  DeviceIo& io = DeviceIoOf(context);
  *count = 0;
  if (!FinishCancelled(io, device, io.Read, GetTickCount64() + DEVICE_CANCEL_WAIT_MS)) {
    io.LastError = ERROR_TIMEOUT;
    return DeviceIoResult::Stuck;
  }
  DWORD done = 0;
  if (io.Read && GetOverlappedResult(device, &io.Read->Overlapped, &done, FALSE) && done == 1) {
    *byte = io.Read->Buffer[0];
    *count = 1;
  }
  return DeviceIoResult::Done;
}

// Transfers still outstanding are cancelled and waited for together, up to DEVICE_CANCEL_WAIT_MS;
// the handle is closed anyway, first, and only then is its removal registration let go: after a
// removal query the main window keeps it to hear the outcome, and unregisters it then.
void CloseDevice(void* context, DeviceHandle device, bool removal) {
  DeviceIo& io = DeviceIoOf(context);
  const ULONGLONG deadline = GetTickCount64() + DEVICE_CANCEL_WAIT_MS;
  FinishCancelled(io, device, io.Read, deadline);
  FinishCancelled(io, device, io.Write, deadline);
  CloseHandle(device);
  HDEVNOTIFY notice = std::exchange(io.RemovalNotice, nullptr);
  if (notice && removal) {
    notice = static_cast<HDEVNOTIFY>(AppState.RemovalNoticeLeft.exchange(notice, std::memory_order_acq_rel));
  }
  if (notice) UnregisterDeviceNotification(notice);
}

// A pause that the requests DevicePauseEnds names for its kind cut short.
void PauseDevice(void*, std::uint32_t milliseconds, DevicePause pause) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    if (DevicePauseEnds(AppState, pause)) return;
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
  p.CancelRead = CancelReadDevice;
  p.Close = CloseDevice;
  p.LastError = [](void* context) -> std::uint32_t { return DeviceIoOf(context).LastError; };
  p.Sleep = PauseDevice;
  p.WaitForWake = [](void*) { WaitForSingleObject(WakeEvent, INFINITE); };
  p.PlayCue = [](void*, SoundCue cue) { PlayCue(cue); };
  p.ShowIndicator = [](void*) { ShowIndicator(); };
  p.RepaintButton = [](void*) {
    if (void (*repaint)() = AppState.RepaintButton.load(std::memory_order_acquire)) repaint();
  };
  p.PublishLog = [](void*) { StatusActions.PublishLog(); };
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
  const DevicePlatform platform = WindowsDevicePlatform(io);
  DeviceLoopState loop;
  RunDeviceLoop(AppState, platform, loop);
  // Transfers the driver may still write stay allocated: the process ends soon after.
  ReclaimAbandoned(io);
  for (TransferSlot& transfer : io.Abandoned) static_cast<void>(transfer.release());
  for (TransferSlot* slot : {&io.Read, &io.Write}) {
    if (*slot && (*slot)->Outstanding) static_cast<void>(slot->release());
  }
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
