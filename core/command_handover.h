// Hand-over of controller commands from the requesting side to the device thread.
//
// The requester writes the data (ButtonSetup and WaitTime, or ButtonActive) and then raises the
// pending flag. The device thread takes the flag (atomically clearing it) before it reads the data
// and builds the command; if the write does not go through whole, it raises the flag again. A
// request that lands while a command is being written therefore raises the flag anew and is sent on
// the next pass: no change is ever lost, and requests made before a send collapse into one command
// carrying the latest state.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/app_state.h"

// Raise a pending flag after the data it covers has been written.
inline void RaisePending(std::atomic<std::uint32_t>& flag) { flag.store(1, std::memory_order_release); }

// Ends the device thread's wait in a held read, so a request just raised goes out at once instead
// of after the next touch. Call after the flag is raised: the thread takes flags before it waits.
inline void WakeDeviceThread(AppStateRecord& state) {
  if (void (*wake)() = state.WakeDeviceThread.load(std::memory_order_acquire)) wake();
}

// Requesting side: raise a command's flag and wake the device thread.
inline void RequestCommand(AppStateRecord& state, std::atomic<std::uint32_t>& flag) {
  RaisePending(flag);
  WakeDeviceThread(state);
}

// Device thread: take a pending request. True means a command must be built and written now.
inline bool TakePending(std::atomic<std::uint32_t>& flag) {
  return flag.exchange(0, std::memory_order_acq_rel) != 0;
}

// Device thread: the write failed or was short; the command stays pending.
inline void KeepPending(std::atomic<std::uint32_t>& flag) { RaisePending(flag); }

inline bool IsPending(const std::atomic<std::uint32_t>& flag) {
  return flag.load(std::memory_order_acquire) != 0;
}

// UI thread: the user armed or disarmed the function button. Returns the new state.
inline bool ToggleButtonActive(AppStateRecord& state) {
  const bool active = (state.ButtonActive.fetch_xor(1, std::memory_order_acq_rel) ^ 1) != 0;
  RequestCommand(state, state.ButtonCommandPending);
  return active;
}

// Device thread: a right click disarms an armed button when once-only is on. True when it disarmed.
inline bool DisarmButtonOnce(AppStateRecord& state) {
  std::uint32_t armed = 1;
  if (!state.ButtonActive.compare_exchange_strong(armed, 0, std::memory_order_acq_rel)) return false;
  RaisePending(state.ButtonCommandPending);
  return true;
}

// UI thread: a move of the function button ends; it goes idle without telling the controller.
inline void ClearButtonActiveAfterMove(AppStateRecord& state) {
  state.ButtonActive.store(0, std::memory_order_release);
}

// UI thread: put new settings in force and queue the setup command for them.
inline void RequestSetup(AppStateRecord& state, const SettingValues& inForce) {
  StoreSettingsInForce(state, inForce);
  RequestCommand(state, state.SetupPending);
}

// UI thread: the console moved to or away from this copy's session. Only a change wakes the thread.
inline void SetDeviceAllowed(AppStateRecord& state, bool allowed) {
  const std::uint32_t value = allowed ? 1u : 0u;
  if (state.DeviceAllowed.exchange(value, std::memory_order_acq_rel) != value) WakeDeviceThread(state);
}

// UI thread: the system removes the controller whose handle this is; the device thread closes it
// when it is still the open one (a handle already closed and replaced is left alone).
inline void RequestDeviceRelease(AppStateRecord& state, NativeHandle device) {
  state.DeviceToRelease.store(device, std::memory_order_release);
  WakeDeviceThread(state);
}

// UI thread: the controller's interface arrived, or its removal was called off: the device thread
// connects at once instead of at the end of its retry pause.
inline void RequestDeviceAttempt(AppStateRecord& state) {
  RaisePending(state.DeviceAttemptPending);
  WakeDeviceThread(state);
}

// UI thread: the program ends; the device thread lets go of the controller and returns.
inline void RequestDeviceStop(AppStateRecord& state) {
  RaisePending(state.DeviceStopPending);
  WakeDeviceThread(state);
}
