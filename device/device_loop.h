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

enum class DeviceReadResult { Done, Woken, Failed };

// What the loop tells the field reports (the event log, the support report) besides the status log.
// Connected: path is the open controller's. AttemptFailed: discovery (error 0) or the open (its
// error) failed. Lost: the open connection ended (the read's error, or 0 for a removal).
// LeftToOtherSession / TakenBack: the console moved away from this session and back.
enum class DeviceNotice { Connected, AttemptFailed, Lost, LeftToOtherSession, TakenBack };

struct DevicePlatform {
  void* Context = nullptr;

  // Discovery. Logs its own failure lines; returns the device path (owned by the caller) or none.
  std::unique_ptr<wchar_t[]> (*FindPath)(void* context, AppStateRecord& state) = nullptr;
  // Opens the path. False on failure (the reason in LastError).
  bool (*Open)(void* context, const wchar_t* path, DeviceHandle* device) = nullptr;
  // One write of count bytes, waited for; true when it succeeded, with the bytes taken in *written.
  bool (*Write)(void* context, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count,
                std::uint32_t* written) = nullptr;
  // Waits for one byte. Done: the read completed, with the bytes read (0 or 1) in *count. Woken: a
  // request ended the wait first; the read stays outstanding and the next call waits for the same
  // read, so no byte is lost or read twice. Failed: the reason in LastError.
  DeviceReadResult (*Read)(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) = nullptr;
  // Cancels an outstanding read, waits for it to end, and closes the handle.
  void (*Close)(void* context, DeviceHandle device) = nullptr;
  // The error code of the last failed Open or Read.
  std::uint32_t (*LastError)(void* context) = nullptr;
  // Pauses; a wait cut short by a stop or a session change returns early (DeviceAttentionPending).
  void (*Sleep)(void* context, std::uint32_t milliseconds) = nullptr;
  // Waits until a request wakes the thread (while another session has the console).
  void (*WaitForWake)(void* context) = nullptr;

  // Feedback.
  void (*PlayCue)(void* context, SoundCue cue) = nullptr;
  void (*ShowIndicator)(void* context) = nullptr;
  void (*RepaintButton)(void* context) = nullptr;

  // Status window.
  void (*ShowLog)(void* context) = nullptr;
  void (*ClearLog)(void* context) = nullptr;
  void (*ShowStatusWindow)(void* context) = nullptr;
  void (*StartDelayedHide)(void* context) = nullptr;

  // Field reports; must return at once. May be null (nothing listens).
  void (*Notice)(void* context, DeviceNotice notice, std::uint32_t error, const wchar_t* path) = nullptr;
};

// The thread's own state, seen by no other thread.
struct DeviceLoopState {
  bool Connected = false;
  DeviceHandle Device = nullptr;
  bool LeftForOtherSession = false;  // let go because another session has the console
};

constexpr std::uint32_t DEVICE_ERROR_IO_PENDING = 997;
constexpr std::uint32_t DEVICE_ERROR_OPERATION_ABORTED = 995;
constexpr std::uint32_t DEVICE_EVENT_PAUSE_MS = 10;
constexpr std::uint32_t DEVICE_RETRY_SHOW_MS = 2000;
constexpr std::uint32_t DEVICE_RETRY_BLANK_MS = 200;

// Replaces state.DevicePath with the result of a discovery, releasing the previous path.
void StoreDevicePath(AppStateRecord& state, std::unique_ptr<wchar_t[]> path);

// One pass of the loop: connect when not connected, send pending commands, read and dispatch one
// event (then pause 10 ms), or run the retry tail on any connection failure. A read woken by a
// request ends the pass at once, so the next pass sends what was queued. While another session has
// the console the pass lets go of the controller and waits for a wake instead.
void RunDevicePass(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop);

// Passes until the program asks the thread to stop; then the controller is let go.
void RunDeviceLoop(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop);

// A request that must cut the thread's pauses short: stop, or the console left this session.
bool DeviceAttentionPending(const AppStateRecord& state);

// The console session decision: this copy may hold the controller only while its session is the
// one attached to the physical console. 0xFFFFFFFF is the system's "no console session" (during a
// switch), which no process session matches.
constexpr std::uint32_t NO_CONSOLE_SESSION = 0xFFFFFFFFu;
constexpr bool SessionOwnsConsole(std::uint32_t consoleSession, std::uint32_t processSession) {
  return consoleSession != NO_CONSOLE_SESSION && consoleSession == processSession;
}

// Acts on one event byte under the feature word in force.
void DispatchDeviceEvent(AppStateRecord& state, const DevicePlatform& platform, std::uint8_t eventByte);

// Removal notices (the system's device-change events for a handle): a query to remove and a
// completed removal of the open controller make the thread let go of its handle at once.
constexpr std::uint32_t DEVICE_NOTICE_QUERY_REMOVE = 0x8001;
constexpr std::uint32_t DEVICE_NOTICE_REMOVE_COMPLETE = 0x8004;
constexpr std::uint32_t DEVICE_NOTICE_HANDLE = 6;
constexpr bool RemovalReleasesDevice(std::uint32_t event, std::uint32_t noticeType, const void* noticeHandle,
                                     const void* openHandle) {
  return (event == DEVICE_NOTICE_QUERY_REMOVE || event == DEVICE_NOTICE_REMOVE_COMPLETE) &&
         noticeType == DEVICE_NOTICE_HANDLE && openHandle != nullptr && noticeHandle == openHandle;
}
