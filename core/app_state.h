// The one process-wide state record (the settings themselves are described in core/settings_table.h).
//
// The threads (user interface, device, mouse hook) use the record without locks. Every field that
// two threads touch is a std::atomic word, so neither side can cache it or see a torn value.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "core/policy_merge.h"
#include "core/settings_table.h"

// LanguageMode values.
constexpr std::int32_t LANGUAGE_TRADITIONAL_CHINESE = 0;
constexpr std::int32_t LANGUAGE_SIMPLIFIED_CHINESE = 1;
constexpr std::int32_t LANGUAGE_ENGLISH = 2;

constexpr std::size_t LOG_TEXT_CAPACITY = 10240;    // wide characters, terminator included
constexpr std::size_t LINE_SCRATCH_CAPACITY = 512;  // wide characters, terminator included
constexpr std::size_t CLASS_NAME_CAPACITY = 100;
constexpr std::size_t SHORT_TEXT_CAPACITY = 5;      // UnitText and ExitCaption

enum class RightClickMethod { None, FunctionButton, HoldStill };

// The function-button bit is tested first: a word with both method bits means the function button.
constexpr RightClickMethod RightClickMethodOf(std::uint32_t buttonSetup) {
  if (buttonSetup & SETUP_FUNCTION_BUTTON) return RightClickMethod::FunctionButton;
  if (buttonSetup & SETUP_HOLD_STILL) return RightClickMethod::HoldStill;
  return RightClickMethod::None;
}

// Seconds shown for a hold time: the value divided by 100.
constexpr double WaitTimeSeconds(std::int32_t waitTime) { return waitTime / 100.0; }

// Handles of the platform (windows, bitmaps, module) kept opaque so the record stays portable.
using NativeHandle = void*;

// The pointer's two coordinates in one word, so that a reader on another thread never pairs the x
// of one move with the y of another. Coordinates left of or above the primary monitor are negative.
constexpr std::uint64_t PointerWord(std::int32_t x, std::int32_t y) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32 | static_cast<std::uint32_t>(y);
}
constexpr std::int32_t PointerWordX(std::uint64_t word) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(word >> 32));
}
constexpr std::int32_t PointerWordY(std::uint64_t word) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(word));
}

struct AppStateRecord {
  // Settings in force. Written by the UI thread, read by the device thread when it builds a command.
  std::atomic<std::uint32_t> ButtonSetup{DEFAULT_BUTTON_SETUP};
  std::atomic<std::int32_t> WaitTime{WAIT_TIME_DEFAULT};

  // UI thread only.
  std::int32_t SliderWaitTime = WAIT_TIME_DEFAULT;
  std::array<wchar_t, SHORT_TEXT_CAPACITY> UnitText{L'\u79D2', 0};
  std::array<wchar_t, SHORT_TEXT_CAPACITY> ExitCaption{L'\u7D50', L'\u675F', 0};
  std::int32_t LanguageMode = LANGUAGE_ENGLISH;
  std::int32_t SavedWaitTime = -1;
  // The user's settings: the stored ones as last read or stored. The settings in force are these
  // with the policies that decide now over them; SavedWaitTime is only what OK last stored.
  SettingValues UserSettings = StoredDefaults();
  Policies PoliciesInForce;
  std::int32_t IndicatorTicksLeft = 0;
  float IndicatorAngle = 0.0f;
  std::uint32_t StartFailed = 0;
  std::uint32_t ButtonMoveMode = 0;
  std::uint32_t ButtonDoubleClicked = 0;
  std::uint32_t ButtonDragged = 0;  // the user has dragged the button since start (not stored)
  std::array<wchar_t, CLASS_NAME_CAPACITY> ClassName{};

  // Log: the UI thread before the device thread starts, the device thread afterwards.
  std::array<wchar_t, LINE_SCRATCH_CAPACITY> LineScratch{};
  std::array<wchar_t, LOG_TEXT_CAPACITY> LogText{};
  // Lines another thread hands to the log once the device thread owns it (HandLogLine); the
  // device thread appends them at its next pass. HandedLog is guarded by HandedLogLock.
  std::mutex HandedLogLock;
  std::array<wchar_t, LINE_SCRATCH_CAPACITY> HandedLog{};
  std::atomic<std::uint32_t> HandedLogPending{0};

  // Created once at start-up on the UI thread, never released.
  NativeHandle Instance = nullptr;
  NativeHandle MainWindow = nullptr;
  NativeHandle StatusWindow = nullptr;
  NativeHandle SettingsDialog = nullptr;
  NativeHandle IndicatorWindow = nullptr;
  NativeHandle ButtonWindow = nullptr;
  NativeHandle IndicatorBitmap = nullptr;
  NativeHandle ButtonOnBitmap = nullptr;
  NativeHandle ButtonOffBitmap = nullptr;
  NativeHandle ButtonMoveBitmap = nullptr;

  // Device thread only: path of the latest discovery, owned by that thread.
  wchar_t* DevicePath = nullptr;

  // The pointer of the latest move (PointerWord), written by the mouse hook on its own thread, read
  // by the UI thread when it places the indicator. PointerSeen rises after the first move's word.
  std::atomic<std::uint64_t> Pointer{0};
  std::atomic<std::uint32_t> PointerSeen{0};

  // Command hand-over between the threads (see command_handover.h).
  std::atomic<std::uint32_t> SetupPending{0};
  std::atomic<std::uint32_t> ButtonCommandPending{0};
  std::atomic<std::uint32_t> ButtonActive{0};

  // Requests to the device thread from the UI thread, each followed by a wake (command_handover.h).
  // DeviceAllowed: this copy's session is attached to the console, so it may hold the controller.
  // DeviceToRelease: the open handle that the system is removing; the device thread closes it.
  // DeviceStopPending: the program ends; let go of the controller and end the thread.
  // DeviceAttemptPending: the controller's interface arrived (or its removal was called off):
  // connect now instead of at the end of the 2.2 s retry.
  std::atomic<std::uint32_t> DeviceAllowed{1};
  std::atomic<NativeHandle> DeviceToRelease{nullptr};
  std::atomic<std::uint32_t> DeviceStopPending{0};
  std::atomic<std::uint32_t> DeviceAttemptPending{0};
  // The device handle while one is open (device thread writes), compared with removal notices.
  std::atomic<NativeHandle> OpenDevice{nullptr};
  // The removal-notice registration of a handle closed for a removal, handed by the device thread
  // to the main window, which unregisters it when the removal's outcome arrives.
  std::atomic<NativeHandle> RemovalNoticeLeft{nullptr};
  // Ends the device thread's wait in a held read; set by the device thread before it runs, called
  // by whoever raises a flag above. Null: nothing waits (the tests' loop, or no thread yet).
  std::atomic<void (*)()> WakeDeviceThread{nullptr};
  // Repaints the function button after the device thread disarmed it (once only); set by start-up
  // when the button exists, so the device thread needs no part of the button. Null: no button.
  std::atomic<void (*)()> RepaintButton{nullptr};
};

extern AppStateRecord AppState;

// The record's fields of the stored values, named here only: every other part of the program
// passes them as one SettingValues record.
//
// The settings in force (ButtonSetup, WaitTime): read, and written without a command (release
// stores; RequestSetup in core/command_handover.h also raises the setup command's flag).
SettingValues SettingsInForceOf(const AppStateRecord& state);
void StoreSettingsInForce(AppStateRecord& state, const SettingValues& values);

// What this run's OK last stored of each number (SavedWaitTime), NOT_SAVED_YET before the first
// OK and for a word of bits (OK writes a word every time); Remember takes the stored ones.
constexpr std::uint32_t NOT_SAVED_YET = 0xFFFFFFFFu;
SettingValues SavedSettingsOf(const AppStateRecord& state);
void RememberSavedSettings(AppStateRecord& state, const SettingValues& values, const SettingFlags& stored);
