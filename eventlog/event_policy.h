// What Ostinel writes to the Windows event log, decided without Windows: the fixed event IDs, the
// records (ID, level, insertion strings) and the rules for the controller's reports: which notice
// of the device loop makes which event, "still not found" once per absence and then at most once
// an hour, and at most 30 controller reports an hour, after which the count held back is reported.
//
// Times are milliseconds of a steady clock that the caller supplies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/policy_merge.h"
#include "device/device_loop.h"

// Event IDs: the message table (res/event_messages.mc) has a text for each in every language.
constexpr std::uint32_t EVENT_STARTED = 1;
constexpr std::uint32_t EVENT_ENDED = 2;
constexpr std::uint32_t EVENT_START_FAILED = 3;
constexpr std::uint32_t EVENT_SUPPORT_SECTION_TAKEN = 4;
constexpr std::uint32_t EVENT_SERVICES_SESSION = 5;
constexpr std::uint32_t EVENT_RESTARTED = 6;
constexpr std::uint32_t EVENT_CONTROLLER_CONNECTED = 10;
constexpr std::uint32_t EVENT_CONNECTION_LOST = 11;
constexpr std::uint32_t EVENT_CONTROLLER_NOT_FOUND = 12;
constexpr std::uint32_t EVENT_LEFT_TO_OTHER_SESSION = 13;
constexpr std::uint32_t EVENT_TAKEN_BACK = 14;
constexpr std::uint32_t EVENT_REPORTS_HELD_BACK = 15;
constexpr std::uint32_t EVENT_SETTINGS_CHANGED = 20;
constexpr std::uint32_t EVENT_SETTINGS_NOT_SAVED = 21;
constexpr std::uint32_t EVENT_POLICIES_IN_FORCE = 22;
constexpr std::uint32_t EVENT_POLICY_IGNORED = 23;

constexpr std::array<std::uint32_t, 16> ALL_EVENT_IDS = {
    EVENT_STARTED,           EVENT_ENDED,           EVENT_START_FAILED,  EVENT_SUPPORT_SECTION_TAKEN,
    EVENT_SERVICES_SESSION,  EVENT_RESTARTED,
    EVENT_CONTROLLER_CONNECTED, EVENT_CONNECTION_LOST, EVENT_CONTROLLER_NOT_FOUND,
    EVENT_LEFT_TO_OTHER_SESSION, EVENT_TAKEN_BACK,  EVENT_REPORTS_HELD_BACK,
    EVENT_SETTINGS_CHANGED,  EVENT_SETTINGS_NOT_SAVED, EVENT_POLICIES_IN_FORCE,
    EVENT_POLICY_IGNORED};

// The event types of the log (the values of EVENTLOG_ERROR_TYPE, _WARNING_TYPE, _INFORMATION_TYPE).
enum class EventLevel : std::uint16_t { Error = 1, Warning = 2, Information = 4 };

// The most any event has: "changed" holds each stored value before and after, "started" and "policies
// in force" one string and each value.
constexpr std::size_t EVENT_MAX_STRINGS = 2 * STORED_COUNT > STORED_COUNT + 1 ? 2 * STORED_COUNT : STORED_COUNT + 1;
static_assert(EVENT_MAX_STRINGS >= 3, "the ignored policy's event has three strings");
constexpr std::size_t EVENT_STRING_CAPACITY = 300;  // wide characters, terminator included

// One event as it goes to the log: every value its text shows is one of its insertion strings.
// A record is all zeros until made (Record() sets its level), so the writer's queue of them takes
// no room in the program file.
struct EventRecord {
  std::uint32_t Id = 0;
  EventLevel Level{};
  std::uint16_t StringCount = 0;
  std::array<std::array<wchar_t, EVENT_STRING_CAPACITY>, EVENT_MAX_STRINGS> Strings{};
};

// The start, with the settings in force; a start by Windows' restart after a crash or a hang
// (restarted) is its own event, with the same strings. Each stored value goes in as its own string,
// in STORED_VALUES order: a word of bits as an unsigned number, a number as the signed one the
// program holds.
EventRecord StartedEvent(const wchar_t* version, const SettingValues& inForce, bool restarted);
EventRecord EndedEvent(const wchar_t* version);
// step: which step of start-up failed, as the README names it; error: the system's code, or 0.
EventRecord StartFailedEvent(const wchar_t* step, std::uint32_t error);
EventRecord SettingsNotSavedEvent(std::uint32_t error);
// The policies in force, named with their values in one string ("RightClickMethod=2, HoldTime=150",
// or "none"), and the settings in force under them.
EventRecord PoliciesInForceEvent(const Policies& policies, const SettingValues& inForce);
// A policy value that is ignored: its name, what was read (the number of a REG_DWORD, otherwise
// the registry type and size) and the accepted range.
EventRecord PolicyIgnoredEvent(PolicyValue value, const RawPolicyValue& raw);
// The support section's name was taken by another program: name as an administrator finds the object.
EventRecord SupportSectionTakenEvent(const wchar_t* name);
// Started in session 0, where services run and no user sees a window: account is who started it
// ("NT AUTHORITY\SYSTEM", or the account's SID when its name cannot be looked up).
EventRecord ServicesSessionEvent(const wchar_t* account);

// The settings dialog's OK: a "changed" event when a value in force differs from the one before
// (each value before, then after), and a "not saved" event with the system's error when a write
// failed. Returns the number of records written to out (0 to 2; out must hold 2).
std::size_t SettingsOkEvents(const SettingValues& before, const SettingValues& after, bool saved,
                             std::uint32_t saveError, std::span<EventRecord> out);

constexpr std::uint64_t EVENT_HOUR_MS = 60ull * 60 * 1000;
constexpr std::size_t CONTROLLER_EVENTS_PER_HOUR = 30;

// The controller's reports, owned by one thread.
struct ControllerReportState {
  // Absence: from the start, a loss or a return of the console, until a connection.
  bool NotFoundReported = false;    // this absence's first failed attempt was reported
  std::uint64_t LastNotFoundMs = 0;  // when "still not found" was last written
  std::uint32_t FailedAttempts = 0;  // in this absence
  // The last CONTROLLER_EVENTS_PER_HOUR writes (a ring), the held-back count, and whether the
  // limit holds every report back until an hour has passed since the last write.
  std::array<std::uint64_t, CONTROLLER_EVENTS_PER_HOUR> WrittenMs{};
  std::size_t Written = 0;  // writes so far (the ring's next slot is Written % size)
  std::uint32_t HeldBack = 0;
  bool Holding = false;
  // The latest report made, written or held back: it follows a held-back count that comes without
  // a new event, so the log tells the state now. None before the first notice.
  EventRecord LatestReport;
  bool HasLatestReport = false;
};

constexpr std::size_t CONTROLLER_EVENTS_PER_NOTICE_MAX = 2;  // a held-back count, then the event

// One notice of the device loop at nowMs. Writes the records to log now into out (which must hold
// CONTROLLER_EVENTS_PER_NOTICE_MAX) and returns their number: none, the notice's event, or the
// held-back count followed by it when the limit has just opened again.
std::size_t ControllerNoticeEvents(ControllerReportState& state, DeviceNotice notice, std::uint32_t error,
                                   const wchar_t* path, std::uint64_t nowMs, std::span<EventRecord> out);

// While reports are held back: when the held-back summary becomes due (an hour after the last
// write). 0 when nothing is held back.
std::uint64_t HeldBackSummaryDueMs(const ControllerReportState& state);

// The held-back count when it is due at nowMs or the program ends (force), followed by the latest
// report, so that the log tells the controller's state now. Both count as writes, and the limit
// opens again. Returns the number of records in out (0 to 2; out must hold 2): none when nothing
// is held back or it is not yet due; the count alone when no report was ever made.
std::size_t TakeHeldBackSummary(ControllerReportState& state, std::uint64_t nowMs, bool force,
                                std::span<EventRecord> out);

// Reports that a full queue dropped, found at nowMs (what they said is lost). While the hourly
// limit allows, their count is written at once, followed by the latest report; otherwise they are
// held back with the others and counted in the summary that is due anyway. They never hold
// later reports back by themselves. Returns the number of records in out (0 to 2; out must hold 2).
std::size_t DroppedReportEvents(ControllerReportState& state, std::uint32_t dropped, std::uint64_t nowMs,
                                std::span<EventRecord> out);
