#include "eventlog/event_policy.h"

#include "core/bounded_text.h"

namespace {

EventRecord Record(std::uint32_t id, EventLevel level) {
  EventRecord record;
  record.Id = id;
  record.Level = level;
  return record;
}

void AddText(EventRecord& record, const wchar_t* text) {
  if (record.StringCount >= EVENT_MAX_STRINGS) return;
  FormatBounded(record.Strings[record.StringCount++], L"%ls", text ? text : L"");
}

void AddNumber(EventRecord& record, std::uint32_t value) {
  if (record.StringCount >= EVENT_MAX_STRINGS) return;
  FormatBounded(record.Strings[record.StringCount++], L"%lu", static_cast<unsigned long>(value));
}

void AddNumber(EventRecord& record, std::int32_t value) {
  if (record.StringCount >= EVENT_MAX_STRINGS) return;
  FormatBounded(record.Strings[record.StringCount++], L"%ld", static_cast<long>(value));
}

void AddSetting(EventRecord& record, StoredSetting s, std::uint32_t value) {
  if (HoldsBits(s)) {
    AddNumber(record, value);
  } else {
    AddNumber(record, static_cast<std::int32_t>(value));
  }
}

}  // namespace

EventRecord PoliciesInForceEvent(const Policies& policies, const SettingValues& inForce) {
  EventRecord event = Record(EVENT_POLICIES_IN_FORCE, EventLevel::Information);
  FormatPoliciesInForce(event.Strings[event.StringCount++], policies);
  for (StoredSetting s : STORED_SETTINGS) AddSetting(event, s, inForce[s]);
  return event;
}

EventRecord PolicyIgnoredEvent(PolicyValue value, const RawPolicyValue& raw) {
  const PolicyValueName& name = POLICY_VALUES[static_cast<std::size_t>(value)];
  EventRecord event = Record(EVENT_POLICY_IGNORED, EventLevel::Warning);
  AddText(event, name.Name);
  if (raw.Type == REGISTRY_TYPE_DWORD && raw.Size == 4) {
    AddNumber(event, raw.Data);
  } else {
    FormatBounded(event.Strings[event.StringCount++], L"registry type %lu, %lu bytes", static_cast<unsigned long>(raw.Type),
                  static_cast<unsigned long>(raw.Size));
  }
  FormatBounded(event.Strings[event.StringCount++], L"%lu-%lu", static_cast<unsigned long>(name.Lowest),
                static_cast<unsigned long>(name.Highest));
  return event;
}

namespace {

// A new absence: its first failed attempt is reported again.
void StartAbsence(ControllerReportState& state) {
  state.NotFoundReported = false;
  state.FailedAttempts = 0;
}

// Whether the notice makes an event at all, before the hourly limit; fills it.
bool NoticeEvent(ControllerReportState& state, DeviceNotice notice, std::uint32_t error, const wchar_t* path,
                 std::uint64_t nowMs, EventRecord& event) {
  switch (notice) {
    case DeviceNotice::Connected:
      StartAbsence(state);
      event = Record(EVENT_CONTROLLER_CONNECTED, EventLevel::Information);
      AddText(event, path);
      return true;
    case DeviceNotice::Lost:  // the connection before it already ended the last absence
      event = Record(EVENT_CONNECTION_LOST, EventLevel::Warning);
      AddNumber(event, error);
      AddText(event, path);
      return true;
    case DeviceNotice::AttemptFailed:
      ++state.FailedAttempts;
      // The first failed attempt of an absence, then at most once an hour while it lasts.
      if (state.NotFoundReported && nowMs - state.LastNotFoundMs < EVENT_HOUR_MS) return false;
      state.NotFoundReported = true;
      state.LastNotFoundMs = nowMs;
      event = Record(EVENT_CONTROLLER_NOT_FOUND, EventLevel::Warning);
      AddNumber(event, error);
      AddNumber(event, state.FailedAttempts);
      return true;
    case DeviceNotice::LeftToOtherSession:
      event = Record(EVENT_LEFT_TO_OTHER_SESSION, EventLevel::Information);
      return true;
    case DeviceNotice::TakenBack:
      StartAbsence(state);
      event = Record(EVENT_TAKEN_BACK, EventLevel::Information);
      return true;
  }
  return false;
}

std::uint64_t LastWriteMs(const ControllerReportState& state) {
  if (state.Written == 0) return 0;
  return state.WrittenMs[(state.Written - 1) % CONTROLLER_EVENTS_PER_HOUR];
}

// Fewer than the hourly number of writes in the hour up to now.
bool LimitAllows(const ControllerReportState& state, std::uint64_t nowMs) {
  if (state.Written < CONTROLLER_EVENTS_PER_HOUR) return true;
  const std::uint64_t oldest = state.WrittenMs[state.Written % CONTROLLER_EVENTS_PER_HOUR];
  return nowMs - oldest >= EVENT_HOUR_MS;
}

void CountWrite(ControllerReportState& state, std::uint64_t nowMs) {
  state.WrittenMs[state.Written % CONTROLLER_EVENTS_PER_HOUR] = nowMs;
  ++state.Written;
}

// The held-back count, written now; the limit opens again.
EventRecord HeldBackCount(ControllerReportState& state, std::uint64_t nowMs) {
  EventRecord count = Record(EVENT_REPORTS_HELD_BACK, EventLevel::Warning);
  AddNumber(count, state.HeldBack);
  CountWrite(state, nowMs);
  state.HeldBack = 0;
  state.Holding = false;
  return count;
}

}  // namespace

EventRecord StartedEvent(const wchar_t* version, const SettingValues& inForce, bool restarted) {
  EventRecord record = Record(restarted ? EVENT_RESTARTED : EVENT_STARTED, EventLevel::Information);
  AddText(record, version);
  for (StoredSetting s : STORED_SETTINGS) AddSetting(record, s, inForce[s]);
  return record;
}

EventRecord EndedEvent(const wchar_t* version) {
  EventRecord record = Record(EVENT_ENDED, EventLevel::Information);
  AddText(record, version);
  return record;
}

EventRecord StartFailedEvent(const wchar_t* step, std::uint32_t error) {
  EventRecord record = Record(EVENT_START_FAILED, EventLevel::Error);
  AddText(record, step);
  AddNumber(record, error);
  return record;
}

EventRecord SettingsNotSavedEvent(std::uint32_t error) {
  EventRecord record = Record(EVENT_SETTINGS_NOT_SAVED, EventLevel::Warning);
  AddNumber(record, error);
  return record;
}

EventRecord SupportSectionTakenEvent(const wchar_t* name) {
  EventRecord record = Record(EVENT_SUPPORT_SECTION_TAKEN, EventLevel::Warning);
  AddText(record, name);
  return record;
}

EventRecord ServicesSessionEvent(const wchar_t* account) {
  EventRecord record = Record(EVENT_SERVICES_SESSION, EventLevel::Warning);
  AddText(record, account);
  return record;
}

std::size_t SettingsOkEvents(const SettingValues& before, const SettingValues& after, bool saved,
                             std::uint32_t saveError, std::span<EventRecord> out) {
  std::size_t count = 0;
  if (before != after && count < out.size()) {
    EventRecord& changed = out[count++];
    changed = Record(EVENT_SETTINGS_CHANGED, EventLevel::Information);
    for (StoredSetting s : STORED_SETTINGS) {
      AddSetting(changed, s, before[s]);
      AddSetting(changed, s, after[s]);
    }
  }
  if (!saved && count < out.size()) out[count++] = SettingsNotSavedEvent(saveError);
  return count;
}

std::size_t ControllerNoticeEvents(ControllerReportState& state, DeviceNotice notice, std::uint32_t error,
                                   const wchar_t* path, std::uint64_t nowMs, std::span<EventRecord> out) {
  EventRecord event;
  if (!NoticeEvent(state, notice, error, path, nowMs, event)) return 0;
  state.LatestReport = event;
  state.HasLatestReport = true;
  std::size_t count = 0;
  if (state.Holding && HeldBackSummaryDueMs(state) <= nowMs && !out.empty()) {
    // The limit opens again: the count, and this event for the state now.
    out[count++] = HeldBackCount(state, nowMs);
  }
  if (state.Holding || !LimitAllows(state, nowMs) || count >= out.size()) {
    // Held back until an hour after the last write; then the count says how many.
    state.Holding = true;
    ++state.HeldBack;
    return count;
  }
  CountWrite(state, nowMs);
  out[count++] = event;
  return count;
}

std::uint64_t HeldBackSummaryDueMs(const ControllerReportState& state) {
  if (!state.Holding || state.HeldBack == 0) return 0;
  return LastWriteMs(state) + EVENT_HOUR_MS;
}

std::size_t TakeHeldBackSummary(ControllerReportState& state, std::uint64_t nowMs, bool force,
                                std::span<EventRecord> out) {
  if (!state.Holding || state.HeldBack == 0 || out.size() < 2) return 0;
  if (!force && nowMs < HeldBackSummaryDueMs(state)) return 0;
  out[0] = HeldBackCount(state, nowMs);
  if (!state.HasLatestReport) return 1;
  CountWrite(state, nowMs);
  out[1] = state.LatestReport;
  return 2;
}

std::size_t DroppedReportEvents(ControllerReportState& state, std::uint32_t dropped, std::uint64_t nowMs,
                                std::span<EventRecord> out) {
  if (dropped == 0) return 0;
  state.HeldBack += dropped;
  if (state.Holding || !LimitAllows(state, nowMs) || out.size() < 2) {
    // The limit holds reports back anyway: the count goes with the summary an hour after the last write.
    state.Holding = true;
    return 0;
  }
  out[0] = HeldBackCount(state, nowMs);
  if (!state.HasLatestReport) return 1;
  if (!LimitAllows(state, nowMs)) {
    // The count took the hour's last write: the latest report waits as one held back.
    state.Holding = true;
    state.HeldBack = 1;
    return 1;
  }
  CountWrite(state, nowMs);
  out[1] = state.LatestReport;
  return 2;
}
