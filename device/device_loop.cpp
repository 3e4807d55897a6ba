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

void Tell(const DevicePlatform& platform, DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  if (platform.Notice) platform.Notice(platform.Context, notice, error, path);
}

// The handle is published as closed only once it is: a removal query waits for that.
void CloseDevice(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  platform.Close(platform.Context, loop.Device);
  state.OpenDevice.store(nullptr, std::memory_order_release);
  loop.Device = nullptr;
  loop.Connected = false;
}

// Writes one command whose flag was just taken; a failed or short write raises the flag again so
// the command goes out on the next pass. The connection stays either way.
template <std::size_t N>
void SendTaken(const DevicePlatform& platform, DeviceHandle device, const std::array<std::uint8_t, N>& command,
               std::atomic<std::uint32_t>& pending) {
  std::uint32_t written = 0;
  const bool ok = platform.Write(platform.Context, device, command.data(), static_cast<std::uint32_t>(N), &written);
  if (!ok || written != N) KeepPending(pending);
}

// A lost connection shows the status window again. Showing it also cancels a delayed hide that a
// "Connect OK!" of the last 1.5 s started, so the retry lines are never hidden by that hide.
void RetryTail(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  LogLine(state, kRetryLine);
  platform.ShowLog(platform.Context);
  if (loop.Connected) {
    platform.ShowStatusWindow(platform.Context);
    CloseDevice(state, platform, loop);
  }
  platform.Sleep(platform.Context, DEVICE_RETRY_SHOW_MS);
  platform.ClearLog(platform.Context);
  platform.Sleep(platform.Context, DEVICE_RETRY_BLANK_MS);
}

// Discovery and open. False when the attempt failed (its lines are logged).
bool Connect(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  StoreDevicePath(state, platform.FindPath(platform.Context, state));
  if (!state.DevicePath) {
    Tell(platform, DeviceNotice::AttemptFailed, 0, nullptr);
    return false;
  }
  DeviceHandle device = nullptr;
  if (!platform.Open(platform.Context, state.DevicePath, &device)) {
    const std::uint32_t error = platform.LastError(platform.Context);
    LogLine(state, L"Cannot open error %d\r\n", static_cast<int>(error));
    Tell(platform, DeviceNotice::AttemptFailed, error, state.DevicePath);
    return false;
  }
  loop.Device = device;
  loop.Connected = true;
  state.OpenDevice.store(device, std::memory_order_release);
  LogLine(state, L"Connect OK!\r\n");
  Tell(platform, DeviceNotice::Connected, 0, state.DevicePath);
  platform.ShowLog(platform.Context);
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
  Tell(platform, DeviceNotice::LeftToOtherSession, 0, nullptr);
  platform.ShowLog(platform.Context);
  platform.StartDelayedHide(platform.Context);
}

}  // namespace

bool DeviceAttentionPending(const AppStateRecord& state) {
  return state.DeviceStopPending.load(std::memory_order_acquire) != 0 ||
         state.DeviceAllowed.load(std::memory_order_acquire) == 0;
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
  if (state.DeviceAllowed.load(std::memory_order_acquire) == 0) {
    LeaveToOtherSession(state, platform, loop);
    platform.WaitForWake(platform.Context);
    return;
  }
  if (loop.LeftForOtherSession) {
    // Back on the console: another session's copy may have set the controller up its own way.
    loop.LeftForOtherSession = false;
    RaisePending(state.SetupPending);
    Tell(platform, DeviceNotice::TakenBack, 0, nullptr);
  }

  // The system is removing the controller: close its handle now, then retry as after a loss.
  NativeHandle removed = state.DeviceToRelease.exchange(nullptr, std::memory_order_acq_rel);
  if (loop.Connected && removed != nullptr && removed == loop.Device) {
    Tell(platform, DeviceNotice::Lost, 0, state.DevicePath);
    RetryTail(state, platform, loop);
    return;
  }

  if (!loop.Connected && !Connect(state, platform, loop)) {
    RetryTail(state, platform, loop);
    return;
  }

  // Commands carry the settings of this moment; the flag is taken before the data is read, so a
  // request that lands during the write is sent on the next pass.
  if (TakePending(state.SetupPending)) {
    const SetupCommand command = BuildSetupCommand(state.ButtonSetup.load(std::memory_order_acquire),
                                                   state.WaitTime.load(std::memory_order_acquire));
    SendTaken(platform, loop.Device, command, state.SetupPending);
  }
  if (TakePending(state.ButtonCommandPending)) {
    const ButtonCommand command = BuildButtonCommand(state.ButtonActive.load(std::memory_order_acquire) != 0);
    SendTaken(platform, loop.Device, command, state.ButtonCommandPending);
  }

  std::uint8_t eventByte = 0;
  std::uint32_t count = 0;
  switch (platform.Read(platform.Context, loop.Device, &eventByte, &count)) {
    case DeviceReadResult::Woken:
      // A request ended the wait; the read stays outstanding. The next pass acts on the request
      // at once, without the pause.
      return;
    case DeviceReadResult::Failed: {
      const std::uint32_t error = platform.LastError(platform.Context);
      // A cancelled read is no lost connection: a pass without an event, and nothing logged.
      if (error == DEVICE_ERROR_OPERATION_ABORTED) {
        count = 0;
      } else if (error != DEVICE_ERROR_IO_PENDING) {
        LogLine(state, L"Read failed %d\r\n", static_cast<int>(error));
        Tell(platform, DeviceNotice::Lost, error, state.DevicePath);
        RetryTail(state, platform, loop);
        return;
      }
      break;
    }
    case DeviceReadResult::Done:
      break;
  }
  if (count == 1 && eventByte != 0) DispatchDeviceEvent(state, platform, eventByte);
  platform.Sleep(platform.Context, DEVICE_EVENT_PAUSE_MS);
}

void RunDeviceLoop(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop) {
  while (state.DeviceStopPending.load(std::memory_order_acquire) == 0) RunDevicePass(state, platform, loop);
  if (loop.Connected) CloseDevice(state, platform, loop);
}
