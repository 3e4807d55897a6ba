// The device thread's loop: connect to the controller, send pending commands, read and dispatch
// one event at a time, and retry the connection for as long as the program runs.
//
// The loop itself is portable. Every platform operation comes through a table of plain function
// pointers with one context pointer, so the Windows glue (device_thread.cpp) and the tests' scripted
// device drive the same code.
#pragma once

#include <cstdint>
#include <memory>

#include "core/app_state.h"
#include "feedback/sound_cues.h"

// Opaque handle of an open device (a file handle on Windows).
using DeviceHandle = void*;

struct DevicePlatform {
  void* Context = nullptr;

  // Discovery. Logs its own failure lines; returns the device path (owned by the caller) or none.
  std::unique_ptr<wchar_t[]> (*FindPath)(void* context, AppStateRecord& state) = nullptr;
  // Opens the path for synchronous reads and writes. False on failure (the reason in LastError).
  bool (*Open)(void* context, const wchar_t* path, DeviceHandle* device) = nullptr;
  // One write of count bytes; true when the call succeeded, with the bytes taken in *written.
  bool (*Write)(void* context, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count,
                std::uint32_t* written) = nullptr;
  // One read of a single byte; true when the call succeeded, with the bytes read in *count.
  bool (*Read)(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) = nullptr;
  void (*Close)(void* context, DeviceHandle device) = nullptr;
  // The calling thread's last error code, taken right after a failed Open or Read.
  std::uint32_t (*LastError)(void* context) = nullptr;
  void (*Sleep)(void* context, std::uint32_t milliseconds) = nullptr;

  // Feedback.
  void (*PlayCue)(void* context, SoundCue cue) = nullptr;
  void (*ShowIndicator)(void* context) = nullptr;
  void (*RepaintButton)(void* context) = nullptr;

  // Status window.
  void (*ShowLog)(void* context) = nullptr;
  void (*ClearLog)(void* context) = nullptr;
  void (*ShowStatusWindow)(void* context) = nullptr;
  void (*StartDelayedHide)(void* context) = nullptr;
};

// The thread's own state, seen by no other thread.
struct DeviceLoopState {
  bool Connected = false;
  DeviceHandle Device = nullptr;
};

constexpr std::uint32_t DEVICE_ERROR_IO_PENDING = 997;
constexpr std::uint32_t DEVICE_EVENT_PAUSE_MS = 10;
constexpr std::uint32_t DEVICE_RETRY_SHOW_MS = 2000;
constexpr std::uint32_t DEVICE_RETRY_BLANK_MS = 200;

// Replaces state.DevicePath with the result of a discovery, releasing the previous path.
void StoreDevicePath(AppStateRecord& state, std::unique_ptr<wchar_t[]> path);

// One pass of the loop: connect when not connected, send pending commands, read and dispatch one
// event (then pause 10 ms), or run the retry tail on any connection failure.
void RunDevicePass(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop);

// Acts on one event byte under the feature word in force.
void DispatchDeviceEvent(AppStateRecord& state, const DevicePlatform& platform, std::uint8_t eventByte);
