#include "eventlog/event_policy.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/settings_test_support.h"

namespace {

constexpr wchar_t kPath[] = L"\\\\?\\root#ostsim#0000#{b1b46d01-f5fe-428a-b21b-2d91557ddf75}";
constexpr std::uint64_t kMinute = 60 * 1000;

std::vector<std::wstring> Strings(const EventRecord& record) {
  std::vector<std::wstring> strings;
  for (std::size_t i = 0; i < record.StringCount; ++i) strings.emplace_back(record.Strings[i].data());
  return strings;
}

// The controller's reports as the writer thread sees them, on a clock the test moves.
struct ControllerLog {
  ControllerReportState State;
  std::uint64_t Now = 1000;
  std::vector<EventRecord> Written;
  std::vector<std::uint64_t> WrittenAt;

  std::size_t Notice(DeviceNotice notice, std::uint32_t error = 0, const wchar_t* path = kPath) {
    std::array<EventRecord, CONTROLLER_EVENTS_PER_NOTICE_MAX> out;
    const std::size_t count = ControllerNoticeEvents(State, notice, error, path, Now, out);
    for (std::size_t i = 0; i < count; ++i) Keep(out[i]);
    return count;
  }
  // What the writer does when it wakes at the held-back count's time, or at the end: the count,
  // then the latest report held back again.
  bool Summary(bool force = false) {
    std::array<EventRecord, 2> out;
    const std::size_t count = TakeHeldBackSummary(State, Now, force, out);
    for (std::size_t i = 0; i < count; ++i) Keep(out[i]);
    return count == 2 && out[0].Id == EVENT_REPORTS_HELD_BACK;
  }
  void Keep(const EventRecord& record) {
    Written.push_back(record);
    WrittenAt.push_back(Now);
  }
  const EventRecord& Last() const { return Written.back(); }
};

TEST(ControllerReports, NotFoundAtTheFirstFailedAttemptThenAtMostHourlyUntilAConnection) {
  ControllerLog log;
  ASSERT_EQ(log.Notice(DeviceNotice::AttemptFailed, 0, nullptr), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_CONTROLLER_NOT_FOUND);
  EXPECT_EQ(Strings(log.Last()), (std::vector<std::wstring>{L"0", L"1"}));

  // Every 2.2 s for just under an hour: nothing more.
  const std::uint64_t first = log.Now;
  while (log.Now + 2200 < first + EVENT_HOUR_MS) {
    log.Now += 2200;
    EXPECT_EQ(log.Notice(DeviceNotice::AttemptFailed, 0, nullptr), 0u);
  }
  log.Now = first + EVENT_HOUR_MS;
  ASSERT_EQ(log.Notice(DeviceNotice::AttemptFailed, 32, kPath), 1u);  // found, but in use
  const std::uint32_t attempts = 1 + static_cast<std::uint32_t>((EVENT_HOUR_MS - 1) / 2200) + 1;
  EXPECT_EQ(Strings(log.Last()), (std::vector<std::wstring>{L"32", std::to_wstring(attempts)}));

  // A connection ends the absence; after the next loss the first failed attempt counts again.
  log.Now += 1000;
  log.Notice(DeviceNotice::Connected);
  log.Notice(DeviceNotice::Lost, 1167);
  log.Now += 2200;
  ASSERT_EQ(log.Notice(DeviceNotice::AttemptFailed, 0, nullptr), 1u);
  EXPECT_EQ(Strings(log.Last()), (std::vector<std::wstring>{L"0", L"1"}));
}

// Event 10's text names the controller's path at %1; event 11's puts the system's error at %1 and
// the path at %2.
TEST(ControllerReports, ConnectionLostGivesTheErrorFirstAndThePathSecond) {
  ControllerLog log;
  ASSERT_EQ(log.Notice(DeviceNotice::Connected), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_CONTROLLER_CONNECTED);
  EXPECT_EQ(Strings(log.Last()), std::vector<std::wstring>{kPath});
  ASSERT_EQ(log.Notice(DeviceNotice::Lost, 1167), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_CONNECTION_LOST);
  EXPECT_EQ(Strings(log.Last()), (std::vector<std::wstring>{L"1167", kPath}));
}

// The console comes back to this session: a new absence, so its first failed attempt is reported
// at once and counted from 1, not held for the rest of the hour of the one before.
TEST(ControllerReports, NotFoundAfterTheConsoleComesBackIsReportedAtOnceAndCountedAfresh) {
  ControllerLog log;
  ASSERT_EQ(log.Notice(DeviceNotice::AttemptFailed, 0, nullptr), 1u);
  log.Now += 2200;
  EXPECT_EQ(log.Notice(DeviceNotice::AttemptFailed, 0, nullptr), 0u);
  log.Now += kMinute;
  ASSERT_EQ(log.Notice(DeviceNotice::LeftToOtherSession), 1u);
  log.Now += kMinute;
  ASSERT_EQ(log.Notice(DeviceNotice::TakenBack), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_TAKEN_BACK);
  ASSERT_EQ(log.Notice(DeviceNotice::AttemptFailed, 2, kPath), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_CONTROLLER_NOT_FOUND);
  EXPECT_EQ(Strings(log.Last()), (std::vector<std::wstring>{L"2", L"1"}));
}

// A controller that drops and comes back every 5 s for three hours (connected, lost, a failed
// attempt each time): never more than 30 writes in any hour, the held-back count an hour after
// the last write followed by the latest report held back, and every report written or counted.
TEST(ControllerReports, FlappingControllerWritesAtMostThirtyAnHourAndCountsTheRest) {
  ControllerLog log;
  const std::uint64_t end = log.Now + 3 * EVENT_HOUR_MS;
  std::uint64_t wanted = 0, counted = 0, repeated = 0;
  std::uint32_t latest = 0;
  while (log.Now < end) {
    for (DeviceNotice notice : {DeviceNotice::Connected, DeviceNotice::Lost, DeviceNotice::AttemptFailed}) {
      // The writer wakes for a due summary before the next notice.
      if (const std::uint64_t due = HeldBackSummaryDueMs(log.State); due && due <= log.Now) {
        const std::uint64_t keep = log.Now;
        log.Now = due;
        const std::uint32_t held = log.State.HeldBack;
        ASSERT_TRUE(log.Summary());
        EXPECT_EQ(Strings(log.Written[log.Written.size() - 2]), std::vector<std::wstring>{std::to_wstring(held)});
        EXPECT_EQ(log.Last().Id, latest);  // the state now
        counted += held;
        ++repeated;
        log.Now = keep;
      }
      ++wanted;
      log.Notice(notice);
      latest = notice == DeviceNotice::Connected ? EVENT_CONTROLLER_CONNECTED
               : notice == DeviceNotice::Lost    ? EVENT_CONNECTION_LOST
                                                 : EVENT_CONTROLLER_NOT_FOUND;
      log.Now += 1700;
    }
  }
  for (std::size_t i = 0; i < log.WrittenAt.size(); ++i) {
    std::size_t inHour = 0;
    for (std::size_t j = i; j < log.WrittenAt.size() && log.WrittenAt[j] < log.WrittenAt[i] + EVENT_HOUR_MS; ++j) {
      ++inHour;
    }
    ASSERT_LE(inHour, CONTROLLER_EVENTS_PER_HOUR) << "from write " << i;
  }
  // At the end the count still held is written, due or not.
  const std::uint32_t held = log.State.HeldBack;
  ASSERT_TRUE(log.Summary(true));
  counted += held;
  ++repeated;

  std::size_t events = 0, summaries = 0;
  for (const EventRecord& r : log.Written) (r.Id == EVENT_REPORTS_HELD_BACK ? summaries : events)++;
  EXPECT_EQ(events - repeated + counted, wanted);
  EXPECT_EQ(summaries, 3u);  // an hour after each of the first two bursts, and at the end
  // The first burst is the first 30 reports, unbroken.
  ASSERT_GE(log.Written.size(), 32u);
  EXPECT_EQ(log.WrittenAt[29] - log.WrittenAt[0], 29 * 1700u);
  EXPECT_EQ(log.Written[30].Id, EVENT_REPORTS_HELD_BACK);
  EXPECT_EQ(log.WrittenAt[30], log.WrittenAt[29] + EVENT_HOUR_MS);
}

TEST(ControllerReports, HeldBackSummaryIsDueOnlyAnHourAfterTheLastWrite) {
  ControllerLog log;
  for (std::size_t i = 0; i < CONTROLLER_EVENTS_PER_HOUR; ++i) ASSERT_EQ(log.Notice(DeviceNotice::Connected), 1u);
  EXPECT_EQ(HeldBackSummaryDueMs(log.State), 0u);
  EXPECT_FALSE(log.Summary());
  log.Now += kMinute;
  EXPECT_EQ(log.Notice(DeviceNotice::Lost, 1167), 0u);
  EXPECT_EQ(HeldBackSummaryDueMs(log.State), 1000 + EVENT_HOUR_MS);
  log.Now = 1000 + EVENT_HOUR_MS - 1;
  EXPECT_FALSE(log.Summary());
  EXPECT_EQ(log.Notice(DeviceNotice::Connected), 0u);  // still held: the limit opens all at once
  // The next notice after the due time brings the count first, then itself (the state now).
  log.Now = 1000 + EVENT_HOUR_MS;
  ASSERT_EQ(log.Notice(DeviceNotice::Lost, 995), 2u);
  EXPECT_EQ(log.Written[30].Id, EVENT_REPORTS_HELD_BACK);
  EXPECT_EQ(Strings(log.Written[30]), std::vector<std::wstring>{L"2"});
  EXPECT_EQ(log.Last().Id, EVENT_CONNECTION_LOST);
  EXPECT_EQ(HeldBackSummaryDueMs(log.State), 0u);
}

// Reports a full writer's queue dropped: counted and written with the latest real report, never
// with an empty record, and they hold nothing back for an hour unless the hourly limit does.
TEST(ControllerReports, ReportsAFullQueueDroppedAreCountedWithTheLatestRealReportOnly) {
  ControllerLog log;
  auto dropped = [&](std::uint32_t count) {
    std::array<EventRecord, 2> out;
    const std::size_t written = DroppedReportEvents(log.State, count, log.Now, out);
    for (std::size_t i = 0; i < written; ++i) log.Keep(out[i]);
    return written;
  };
  // Before any report of the controller: the count alone.
  ASSERT_EQ(dropped(3), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_REPORTS_HELD_BACK);
  EXPECT_EQ(Strings(log.Last()), std::vector<std::wstring>{L"3"});
  EXPECT_EQ(dropped(0), 0u);

  log.Now += kMinute;
  ASSERT_EQ(log.Notice(DeviceNotice::Connected), 1u);
  log.Now += kMinute;
  ASSERT_EQ(dropped(5), 2u);
  EXPECT_EQ(Strings(log.Written[log.Written.size() - 2]), std::vector<std::wstring>{L"5"});
  EXPECT_EQ(log.Last().Id, EVENT_CONTROLLER_CONNECTED);
  EXPECT_EQ(Strings(log.Last()), std::vector<std::wstring>{kPath});
  // The next reports are written as they come, not an hour later.
  EXPECT_EQ(HeldBackSummaryDueMs(log.State), 0u);
  log.Now += kMinute;
  ASSERT_EQ(log.Notice(DeviceNotice::Lost, 109), 1u);
  EXPECT_EQ(log.Last().Id, EVENT_CONNECTION_LOST);

  // With the hour's writes used up, the dropped ones wait for the summary that is due anyway.
  while (log.Written.size() < CONTROLLER_EVENTS_PER_HOUR) ASSERT_EQ(log.Notice(DeviceNotice::Connected), 1u);
  const std::uint64_t lastWrite = log.Now;
  log.Now += kMinute;
  EXPECT_EQ(log.Notice(DeviceNotice::Lost, 995), 0u);
  EXPECT_EQ(dropped(2), 0u);
  EXPECT_EQ(HeldBackSummaryDueMs(log.State), lastWrite + EVENT_HOUR_MS);
  log.Now = lastWrite + EVENT_HOUR_MS;
  ASSERT_TRUE(log.Summary());
  EXPECT_EQ(Strings(log.Written[log.Written.size() - 2]), std::vector<std::wstring>{L"3"});
  EXPECT_EQ(log.Last().Id, EVENT_CONNECTION_LOST);
  EXPECT_EQ(Strings(log.Last()), (std::vector<std::wstring>{L"995", kPath}));

  // The count that takes the hour's last write: the latest report waits as one held back.
  ControllerLog full;
  for (std::size_t i = 0; i + 1 < CONTROLLER_EVENTS_PER_HOUR; ++i) ASSERT_EQ(full.Notice(DeviceNotice::Connected), 1u);
  std::array<EventRecord, 2> out;
  ASSERT_EQ(DroppedReportEvents(full.State, 4, full.Now, out), 1u);
  EXPECT_EQ(out[0].Id, EVENT_REPORTS_HELD_BACK);
  EXPECT_EQ(full.State.HeldBack, 1u);
  EXPECT_NE(HeldBackSummaryDueMs(full.State), 0u);

  for (const EventRecord& record : log.Written) EXPECT_NE(record.Id, 0u);

  // Only drops, no report of the controller yet, until the limit holds them: the count alone at the end.
  ControllerLog drops;
  while (drops.Written.size() < CONTROLLER_EVENTS_PER_HOUR) {
    ASSERT_EQ(DroppedReportEvents(drops.State, 1, drops.Now, out), 1u);
    drops.Keep(out[0]);
  }
  EXPECT_EQ(DroppedReportEvents(drops.State, 6, drops.Now, out), 0u);
  std::array<EventRecord, 2> summary;
  ASSERT_EQ(TakeHeldBackSummary(drops.State, drops.Now, true, summary), 1u);
  EXPECT_EQ(summary[0].Id, EVENT_REPORTS_HELD_BACK);
  EXPECT_EQ(Strings(summary[0]), std::vector<std::wstring>{L"6"});
}

TEST(SettingsReports, OkReportsAChangeWithOldAndNewValuesAndAFailedSave) {
  std::array<EventRecord, 2> out;
  // Nothing changed, stored.
  EXPECT_EQ(SettingsOkEvents(SetupAndWait(15, 100), SetupAndWait(15, 100), true, 0, out), 0u);

  ASSERT_EQ(SettingsOkEvents(SetupAndWait(15, 100), SetupAndWait(27, 150), true, 0, out), 1u);
  EXPECT_EQ(out[0].Id, EVENT_SETTINGS_CHANGED);
  EXPECT_EQ(Strings(out[0]), (std::vector<std::wstring>{L"15", L"27", L"100", L"150"}));
  ASSERT_EQ(SettingsOkEvents(SetupAndWait(15, 100), SetupAndWait(15, 250), true, 0, out), 1u);  // the hold time alone

  ASSERT_EQ(SettingsOkEvents(SetupAndWait(15, 100), SetupAndWait(15, 100), false, 5, out), 1u);
  EXPECT_EQ(out[0].Id, EVENT_SETTINGS_NOT_SAVED);
  EXPECT_EQ(Strings(out[0]), std::vector<std::wstring>{L"5"});
  ASSERT_EQ(SettingsOkEvents(SetupAndWait(15, 100), SetupAndWait(31, 100), false, 5, out), 2u);
  EXPECT_EQ(out[0].Id, EVENT_SETTINGS_CHANGED);
  EXPECT_EQ(out[1].Id, EVENT_SETTINGS_NOT_SAVED);

  // "Started" carries the version and each value in force: a word unsigned, a number as the signed
  // value the program holds.
  EXPECT_EQ(Strings(StartedEvent(L"1.2.3", SetupAndWait(0x8000000F, -1), false)),
            (std::vector<std::wstring>{L"1.2.3", L"2147483663", L"-1"}));
}

TEST(SettingsReports, PoliciesInForceAndIgnoredValuesNameEachValue) {
  RawPolicies raw{};
  raw[static_cast<std::size_t>(PolicyValue::RightClickMethod)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, 2};
  raw[static_cast<std::size_t>(PolicyValue::HoldTime)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, 150};
  EventRecord event = PoliciesInForceEvent(DecidePolicies(raw), SetupAndWait(0x1B, 150));
  EXPECT_EQ(event.Id, EVENT_POLICIES_IN_FORCE);
  EXPECT_EQ(event.Level, EventLevel::Information);
  EXPECT_EQ(Strings(event), (std::vector<std::wstring>{L"RightClickMethod=2, HoldTime=150", L"27", L"150"}));
  EXPECT_EQ(Strings(PoliciesInForceEvent(Policies{}, SetupAndWait(15, 100)))[0], L"none");

  event = PolicyIgnoredEvent(PolicyValue::HoldTime, RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, 20});
  EXPECT_EQ(event.Id, EVENT_POLICY_IGNORED);
  EXPECT_EQ(event.Level, EventLevel::Warning);
  EXPECT_EQ(Strings(event), (std::vector<std::wstring>{L"HoldTime", L"20", L"50-500"}));
  event = PolicyIgnoredEvent(PolicyValue::ButtonOnceOnly, RawPolicyValue{true, 1, 6, 0x31});
  EXPECT_EQ(Strings(event), (std::vector<std::wstring>{L"ButtonOnceOnly", L"registry type 1, 6 bytes", L"0-1"}));
  // Four bytes of another type, and a short REG_DWORD, are no number either.
  event = PolicyIgnoredEvent(PolicyValue::LeftClickSound, RawPolicyValue{true, 1, 4, 0x30});
  EXPECT_EQ(Strings(event)[1], L"registry type 1, 4 bytes");
  event = PolicyIgnoredEvent(PolicyValue::LeftClickSound, RawPolicyValue{true, REGISTRY_TYPE_DWORD, 2, 1});
  EXPECT_EQ(Strings(event)[1], L"registry type 4, 2 bytes");
}

}  // namespace
