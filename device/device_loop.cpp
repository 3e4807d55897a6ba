#include "device/device_loop.h"

#include <array>
#include <atomic>
#include <cstddef>

#include "core/status_log.h"
#include "core/command_handover.h"
#include "device/device_protocol.h"

namespace {

constexpr wchar_t kRetryLine[] =
    L"Could not connected to Vemto Kavrix Device\r\nThis program will be auto retry again later!";
constexpr wchar_t kOtherSessionLine[] =
    L"Another user session has the screen: touch controller left to it.\r\n";

void ReportNotice(const DevicePlatform& platform, DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  if (platform.Notice) platform.Notice(platform.Context, notice, error, path);
}

// The handle is published as closed only once it is: a removal query waits for that.
void CloseDevice(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop, bool removal = false) {
  platform.Close(platform.Context, loop.Device, removal);
  state.OpenDevice.store(nullptr, std::memory_order_release);
  loop.Device = nullptr;
  loop.Connected = false;
  loop.ReadOutstanding = false;
  loop.FailureStreak = 0;
}

// A lost connection shows the status window again. Showing it also cancels a delayed hide that a
// "Connect OK!" of the last 1.5 s started, so the retry lines are never hidden by that hide.
void RetryTail(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop, bool removal = false) {
  LogLine(state, kRetryLine);
  platform.PublishLog(platform.Context);
  if (loop.Connected) {
    platform.ShowStatusWindow(platform.Context);
    CloseDevice(state, platform, loop, removal);
  }
  platform.Sleep(platform.Context, DEVICE_RETRY_SHOW_MS, DevicePause::RetryTail);
  platform.ClearLog(platform.Context);
  platform.Sleep(platform.Context, DEVICE_RETRY_BLANK_MS, DevicePause::RetryTail);
}

// The connection is given up: say why, tell the field reports, and retry as after any loss.
void LoseConnection(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop,
                    const wchar_t* transfer, std::uint32_t error) {
  LogLine(state, L"%ls failed %d\r\n", transfer, static_cast<int>(error));
  ReportNotice(platform, DeviceNotice::Lost, error, state.DevicePath);
  RetryTail(state, platform, loop);
}

// A write that failed or a read that failed at once: the first of a streak is logged, each backs
// off longer, and the last try lets go of the controller (the retry tail reconnects), so a driver
// that fails everything never spins the thread.
void FailingPass(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop,
                 const wchar_t* transfer, std::uint32_t error) {
  ++loop.FailureStreak;
  if (loop.FailureStreak >= DEVICE_FAILURE_TRIES) {
    ReportNotice(platform, DeviceNotice::Lost, error, state.DevicePath);
    RetryTail(state, platform, loop);
    return;
  }
  if (loop.FailureStreak == 1) {
    LogLine(state, L"%ls failed %d\r\n", transfer, static_cast<int>(error));
    platform.PublishLog(platform.Context);
  }
  platform.Sleep(platform.Context, DEVICE_BACKOFF_MS << (loop.FailureStreak - 1), DevicePause::Backoff);
}

// Why a wait for a held write must end: the loop lets go of the controller for these.
enum class LetGoReason { None, Stop, OtherSession, Removal };
LetGoReason LetGoAsked(const AppStateRecord& state, const DeviceLoopState& loop) {
  if (state.DeviceStopPending.load(std::memory_order_acquire) != 0) return LetGoReason::Stop;
  if (state.DeviceAllowed.load(std::memory_order_acquire) == 0) return LetGoReason::OtherSession;
  const NativeHandle removed = state.DeviceToRelease.load(std::memory_order_acquire);
  if (removed != nullptr && removed == loop.Device) return LetGoReason::Removal;
  return LetGoReason::None;
}

// The outstanding read is cancelled so that a write can go through; a byte the driver had already
// delivered is acted on now, so none is lost, and the next read is a new one, so none is doubled.
bool CancelHeldRead(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  std::uint8_t byte = 0;
  std::uint32_t count = 0;
  const DeviceIoResult result = platform.CancelRead(platform.Context, loop.Device, &byte, &count);
  loop.ReadOutstanding = false;
  if (result == DeviceIoResult::Stuck) return false;
  if (count == 1 && byte != 0) DispatchDeviceEvent(state, platform, byte);
  return true;
}

enum class SendResult { Sent, Failed, LetGo, Stuck };

// Writes one command whose flag was just taken, waiting for the write and for a wake together. A
// failed or short write raises the flag again so the command goes out later; so does a write that
// a stop, the console leaving or a removal interrupts. A write that the driver refuses or holds
// while a read is outstanding is tried again once that read is cancelled.
template <std::size_t N>
SendResult SendTaken(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop,
                     const std::array<std::uint8_t, N>& command, std::atomic<std::uint32_t>& pending,
                     std::uint32_t* error) {
  for (;;) {
    std::uint32_t written = 0;
    const std::uint32_t heldAfterMs = loop.ReadOutstanding ? DEVICE_WRITE_HELD_MS : DEVICE_WAIT_FOREVER;
    const DeviceIoResult result = platform.Write(platform.Context, loop.Device, command.data(),
                                                 static_cast<std::uint32_t>(N), heldAfterMs, &written);
    switch (result) {
      case DeviceIoResult::Done:
        if (written == N) return SendResult::Sent;
        [[fallthrough]];
      case DeviceIoResult::Failed:
        *error = result == DeviceIoResult::Failed ? platform.LastError(platform.Context) : 0;
        if (loop.ReadOutstanding) {  // the cancel clears it: the write is made again once only
          if (!CancelHeldRead(state, platform, loop)) break;
          continue;
        }
        KeepPending(pending);
        return SendResult::Failed;
      case DeviceIoResult::Held:
        if (loop.ReadOutstanding && !CancelHeldRead(state, platform, loop)) break;
        continue;
      case DeviceIoResult::Woken:
        if (LetGoAsked(state, loop) == LetGoReason::None) continue;
        KeepPending(pending);
        return SendResult::LetGo;
      case DeviceIoResult::Stuck:
        break;
    }
    // A cancel the driver did not complete in time.
    *error = DEVICE_ERROR_TIMEOUT;
    KeepPending(pending);
    return SendResult::Stuck;
  }
}

// Commands carry the settings of this moment; the flag is taken before the data is read, so a
// request that lands during the write is sent on the next pass.
SendResult SendPending(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop,
                       std::uint32_t* error) {
  if (TakePending(state.SetupPending)) {
    const SetupCommand command = BuildSetupCommand(state.ButtonSetup.load(std::memory_order_acquire),
                                                   state.WaitTime.load(std::memory_order_acquire));
    const SendResult result = SendTaken(state, platform, loop, command, state.SetupPending, error);
    if (result != SendResult::Sent) return result;
  }
  if (TakePending(state.ButtonCommandPending)) {
    const ButtonCommand command = BuildButtonCommand(state.ButtonActive.load(std::memory_order_acquire) != 0);
    return SendTaken(state, platform, loop, command, state.ButtonCommandPending, error);
  }
  return SendResult::Sent;
}

// Discovery and open. False when the attempt failed (its lines are logged).
bool Connect(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  StoreDevicePath(state, platform.FindPath(platform.Context, state));
  if (!state.DevicePath) {
    ReportNotice(platform, DeviceNotice::AttemptFailed, 0, nullptr);
    return false;
  }
  DeviceHandle device = nullptr;
  if (!platform.Open(platform.Context, state.DevicePath, &device)) {
    const std::uint32_t error = platform.LastError(platform.Context);
    LogLine(state, L"Cannot open error %d\r\n", static_cast<int>(error));
    ReportNotice(platform, DeviceNotice::AttemptFailed, error, state.DevicePath);
    return false;
  }
  loop.Device = device;
  loop.Connected = true;
  state.OpenDevice.store(device, std::memory_order_release);
  LogLine(state, L"Connect OK!\r\n");
  ReportNotice(platform, DeviceNotice::Connected, 0, state.DevicePath);
  platform.PublishLog(platform.Context);
  platform.StartDelayedHide(platform.Context);
  return true;
}

// The console belongs to another session: its copy of the program is the one to hold the
// controller. Let go at once (an outstanding read is cancelled with the handle), say why once, and
// stop retrying; the status window goes away as after a connection.
void LeaveToOtherSession(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  if (loop.LeftForOtherSession) return;
  if (loop.Connected) CloseDevice(state, platform, loop);
  loop.LeftForOtherSession = true;
  LogLine(state, kOtherSessionLine);
  ReportNotice(platform, DeviceNotice::LeftToOtherSession, 0, nullptr);
  platform.PublishLog(platform.Context);
  platform.StartDelayedHide(platform.Context);
}

}  // namespace

bool DeviceAttentionPending(const AppStateRecord& state) {
  return state.DeviceStopPending.load(std::memory_order_acquire) != 0 ||
         state.DeviceAllowed.load(std::memory_order_acquire) == 0;
}

bool DevicePauseEnds(const AppStateRecord& state, DevicePause pause) {
  if (DeviceAttentionPending(state)) return true;
  switch (pause) {
    case DevicePause::AfterEvent:
      return state.DeviceToRelease.load(std::memory_order_acquire) != nullptr || IsPending(state.SetupPending) ||
             IsPending(state.ButtonCommandPending);
    case DevicePause::Backoff:
      return state.DeviceToRelease.load(std::memory_order_acquire) != nullptr;
    case DevicePause::RetryTail:
      return IsPending(state.DeviceAttemptPending);
  }
  return false;
}

void StoreDevicePath(AppStateRecord& state, std::unique_ptr<wchar_t[]> path) {
  delete[] state.DevicePath;
  state.DevicePath = path.release();
}

void DispatchDeviceEvent(AppStateRecord& state, const DevicePlatform& platform, std::uint8_t eventByte) {
  const std::uint32_t setup = state.ButtonSetup.load(std::memory_order_acquire);
  switch (DecideEventAction(eventByte, setup)) {
    case EventAction::LeftClick:
      platform.PlayCue(platform.Context, CUE_LEFT_CLICK);
      break;
    case EventAction::RightClick:
      // The indicator decides for itself from SETUP_RIGHT_FLASH and the known pointer position.
      platform.ShowIndicator(platform.Context);
      if ((setup & SETUP_ONCE_ONLY) && DisarmButtonOnce(state)) platform.RepaintButton(platform.Context);
      if (setup & SETUP_RIGHT_SOUND) platform.PlayCue(platform.Context, CUE_RIGHT_CLICK);
      break;
    case EventAction::None:
      break;
  }
}

void RunDevicePass(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  if (TakeHandedLog(state)) platform.PublishLog(platform.Context);
  if (state.DeviceAllowed.load(std::memory_order_acquire) == 0) {
    LeaveToOtherSession(state, platform, loop);
    platform.WaitForWake(platform.Context);
    return;
  }
  if (loop.LeftForOtherSession) {
    // Back on the console: another session's copy may have set the controller up its own way.
    loop.LeftForOtherSession = false;
    RaisePending(state.SetupPending);
    ReportNotice(platform, DeviceNotice::TakenBack, 0, nullptr);
  }

  // A request to connect at once is met by this pass (taken also while connected, so a stale one
  // never cuts a later retry pause short).
  TakePending(state.DeviceAttemptPending);

  // The system is removing the controller: close its handle now, then retry as after a loss. The
  // request is taken whatever it names, so a handle value that comes back on a later open is not
  // closed by a stale one.
  NativeHandle removed = state.DeviceToRelease.exchange(nullptr, std::memory_order_acq_rel);
  if (loop.Connected && removed != nullptr && removed == loop.Device) {
    ReportNotice(platform, DeviceNotice::Lost, 0, state.DevicePath);
    RetryTail(state, platform, loop, true);
    return;
  }

  if (!loop.Connected && !Connect(state, platform, loop)) {
    RetryTail(state, platform, loop);
    return;
  }

  std::uint32_t error = 0;
  switch (SendPending(state, platform, loop, &error)) {
    case SendResult::Sent:
      break;
    case SendResult::Failed:
      FailingPass(state, platform, loop, L"Write", error);
      return;
    case SendResult::Stuck:
      LoseConnection(state, platform, loop, L"Write", error);
      return;
    case SendResult::LetGo: {
      // A stop ends the loop, which closes the handle; a removal is met by the next pass. Else the
      // console left (and may be back already): let go now all the same.
      const LetGoReason reason = LetGoAsked(state, loop);
      if (reason != LetGoReason::Stop && reason != LetGoReason::Removal) LeaveToOtherSession(state, platform, loop);
      return;
    }
  }
  // A request raised while a write was waited for goes out before the next read.
  if (IsPending(state.SetupPending) || IsPending(state.ButtonCommandPending)) return;

  std::uint8_t eventByte = 0;
  std::uint32_t count = 0;
  const DeviceIoResult result = platform.Read(platform.Context, loop.Device, &eventByte, &count);
  loop.ReadOutstanding = result == DeviceIoResult::Woken;
  switch (result) {
    case DeviceIoResult::Woken:
      // A request ended the wait; the read stays outstanding. The next pass acts on the request
      // at once, without the pause.
      return;
    case DeviceIoResult::Done:
      break;
    default: {
      error = platform.LastError(platform.Context);
      // A read cancelled by someone else (or by a driver that aborts every read at once) is no
      // lost connection, but it must not spin the thread.
      if (error == DEVICE_ERROR_OPERATION_ABORTED) {
        FailingPass(state, platform, loop, L"Read", error);
        return;
      }
      if (error != DEVICE_ERROR_IO_PENDING) {
        LoseConnection(state, platform, loop, L"Read", error);
        return;
      }
      break;
    }
  }
  loop.FailureStreak = 0;
  if (count == 1 && eventByte != 0) DispatchDeviceEvent(state, platform, eventByte);
  platform.Sleep(platform.Context, DEVICE_EVENT_PAUSE_MS, DevicePause::AfterEvent);
}

void RunDeviceLoop(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  while (state.DeviceStopPending.load(std::memory_order_acquire) == 0) RunDevicePass(state, platform, loop);
  if (loop.Connected) CloseDevice(state, platform, loop);
}
