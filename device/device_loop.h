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

// How a wait for a transfer ended. Done: the transfer completed. Woken: a request ended the wait
// first; the transfer stays outstanding and the next call waits for the same one. Failed: the
// reason in LastError. Held (writes only): the driver holds the write while a read is outstanding,
// as a driver that queues writes behind its held read does. Stuck: the driver did not end a
// cancelled transfer in time; the handle must be let go (the transfer's memory is kept alive).
enum class DeviceIoResult { Done, Woken, Failed, Held, Stuck };

// What a pause may be cut short by, besides a stop or the console leaving this session.
// AfterEvent: a queued command or a removal request (the controller is open). Backoff: a removal
// request (a failing command is what is pending). RetryTail: a request to connect at once (the
// controller's interface arrived, or its removal was called off).
enum class DevicePause { AfterEvent, Backoff, RetryTail };

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
  // One write of count bytes (at most 4), waited for together with a wake. Done: *written holds
  // the bytes taken. Woken: the driver still holds the write; the next call (same bytes) waits for
  // it again instead of writing anew. Held: as Woken, when the write is not done within heldAfterMs
  // (DEVICE_WAIT_FOREVER: never). Stuck: the driver ignored the cancel of a write. Failed: LastError.
  DeviceIoResult (*Write)(void* context, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count,
                          std::uint32_t heldAfterMs, std::uint32_t* written) = nullptr;
  // Waits for one byte. Done: the read completed, with the bytes read (0 or 1) in *count. Woken: a
  // request ended the wait first; the read stays outstanding and the next call waits for the same
  // read, so no byte is lost or read twice. Failed: the reason in LastError.
  DeviceIoResult (*Read)(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) = nullptr;
  // Cancels the outstanding read and waits up to DEVICE_CANCEL_WAIT_MS for the driver to end it.
  // Done: it ended; a byte it had read already is in *byte with *count 1 (else *count 0). Stuck:
  // it did not end in time.
  DeviceIoResult (*CancelRead)(void* context, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) = nullptr;
  // Cancels outstanding transfers (waiting at most DEVICE_CANCEL_WAIT_MS for them) and closes the
  // handle; a transfer the driver does not end stays alive, never freed. removal: the system is
  // removing the device, so its removal notices are still wanted after the close.
  void (*Close)(void* context, DeviceHandle device, bool removal) = nullptr;
  // The error code of the last failed Open, Read, Write or cancel.
  std::uint32_t (*LastError)(void* context) = nullptr;
  // Pauses; returns early when DevicePauseEnds says so.
  void (*Sleep)(void* context, std::uint32_t milliseconds, DevicePause pause) = nullptr;
  // Waits until a request wakes the thread (while another session has the console).
  void (*WaitForWake)(void* context) = nullptr;

  // Feedback.
  void (*PlayCue)(void* context, SoundCue cue) = nullptr;
  void (*ShowIndicator)(void* context) = nullptr;
  void (*RepaintButton)(void* context) = nullptr;

  // Status window.
  void (*PublishLog)(void* context) = nullptr;
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
  bool ReadOutstanding = false;      // a read that a wake interrupted is still with the driver
  std::uint32_t FailureStreak = 0;   // passes in a row whose write or read failed at once
};

constexpr std::uint32_t DEVICE_ERROR_IO_PENDING = 997;
constexpr std::uint32_t DEVICE_ERROR_OPERATION_ABORTED = 995;
constexpr std::uint32_t DEVICE_EVENT_PAUSE_MS = 10;
constexpr std::uint32_t DEVICE_RETRY_SHOW_MS = 2000;
constexpr std::uint32_t DEVICE_RETRY_BLANK_MS = 200;
constexpr std::uint32_t DEVICE_ERROR_TIMEOUT = 1460;
// A failing write or a read failing at once backs off 100, 200, 400 ms; the fourth failure in a
// row lets go of the controller and runs the retry tail.
constexpr std::uint32_t DEVICE_BACKOFF_MS = 100;
constexpr std::uint32_t DEVICE_FAILURE_TRIES = 4;
// How long a cancelled transfer is waited for before the handle is closed anyway.
constexpr std::uint32_t DEVICE_CANCEL_WAIT_MS = 1000;
// A write not done this long while a read is outstanding is held behind that read (the loop then
// cancels the read). With no read outstanding a write is waited for as long as the driver holds it.
constexpr std::uint32_t DEVICE_WRITE_HELD_MS = 50;
constexpr std::uint32_t DEVICE_WAIT_FOREVER = 0xFFFFFFFFu;

// Replaces state.DevicePath with the result of a discovery, releasing the previous path.
void StoreDevicePath(AppStateRecord& state, std::unique_ptr<wchar_t[]> path);

// One pass of the loop: connect when not connected, send pending commands, read and dispatch one
// event (then pause 10 ms), or run the retry tail on any connection failure. A read woken by a
// request ends the pass at once, so the next pass sends what was queued. While another session has
// the console the pass lets go of the controller and waits for a wake instead.
void RunDevicePass(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop);

// Passes until the program asks the thread to stop; then the controller is let go.
void RunDeviceLoop(AppStateRecord& state, const DevicePlatform& platform, DeviceLoopState& loop);

// A request that must cut every pause of the thread short: stop, or the console left this session.
bool DeviceAttentionPending(const AppStateRecord& state);

// Whether a pause of this kind ends now (see DevicePause).
bool DevicePauseEnds(const AppStateRecord& state, DevicePause pause);

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
constexpr std::uint32_t DEVICE_NOTICE_QUERY_REMOVE_FAILED = 0x8002;
constexpr std::uint32_t DEVICE_NOTICE_REMOVE_COMPLETE = 0x8004;
constexpr std::uint32_t DEVICE_NOTICE_HANDLE = 6;
constexpr bool RemovalReleasesDevice(std::uint32_t event, std::uint32_t noticeType, const void* noticeHandle,
                                     const void* openHandle) {
  return (event == DEVICE_NOTICE_QUERY_REMOVE || event == DEVICE_NOTICE_REMOVE_COMPLETE) &&
         noticeType == DEVICE_NOTICE_HANDLE && openHandle != nullptr && noticeHandle == openHandle;
}

// What the main window does with a removal notice for a handle. Release: the open handle is being
// removed; the device thread closes it (and keeps its notice registration, so the outcome is still
// heard). Forget: the outcome of a removal whose handle was closed arrived; its registration
// (left, handed over by the device thread) is unregistered. ConnectNow: the removal was called
// off, so the controller stays: connect again at once.
struct DeviceChangeDecision {
  bool Release = false;
  bool Forget = false;
  bool ConnectNow = false;
};
constexpr DeviceChangeDecision DecideDeviceChange(std::uint32_t event, std::uint32_t noticeType,
                                                  const void* noticeHandle, const void* noticeRegistration,
                                                  const void* openHandle, const void* leftRegistration) {
  DeviceChangeDecision decision;
  if (noticeType != DEVICE_NOTICE_HANDLE) return decision;
  decision.Release = RemovalReleasesDevice(event, noticeType, noticeHandle, openHandle);
  const bool left = leftRegistration != nullptr && noticeRegistration == leftRegistration;
  decision.Forget = left && (event == DEVICE_NOTICE_REMOVE_COMPLETE || event == DEVICE_NOTICE_QUERY_REMOVE_FAILED);
  decision.ConnectNow = left && event == DEVICE_NOTICE_QUERY_REMOVE_FAILED;
  return decision;
}
