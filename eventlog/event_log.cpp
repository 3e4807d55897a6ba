#include "eventlog/event_log.h"

#include <windows.h>

#include <array>
#include <atomic>

#include "core/bounded_text.h"
#include "eventlog/event_policy.h"
#include "ostinel_version.h"

namespace {

constexpr wchar_t kSourceName[] = L"Ostinel";
constexpr wchar_t kVersion[] = L"" OSTINEL_VERSION_STRING;
constexpr std::size_t kQueueCapacity = 32;

// One report on its way to the writer: a record ready to write, or a notice of the device loop
// (its path in the record's first string) that the writer decides on.
struct QueuedReport {
  bool IsNotice = false;
  DeviceNotice Notice = DeviceNotice::Connected;
  std::uint32_t Error = 0;
  std::uint64_t AtMs = 0;
  EventRecord Record;
};

// The queue, guarded by Lock; held only to copy one report in or out.
SRWLOCK Lock = SRWLOCK_INIT;
std::array<QueuedReport, kQueueCapacity> Queue;
std::size_t QueueHead = 0;
std::size_t QueueCount = 0;
std::atomic<std::uint32_t> Dropped{0};  // reports a full queue could not take

HANDLE WakeEvent = nullptr;  // auto-reset: a report was queued, or the end was asked
HANDLE WriterThread = nullptr;
std::atomic<bool> EndAsked{false};  // the writer writes "ended" and stops

// The writer's own state.
ControllerReportState ControllerReports;
HANDLE Source = nullptr;

void Enqueue(const QueuedReport& report) {
  bool taken = false;
  AcquireSRWLockExclusive(&Lock);
  if (QueueCount < kQueueCapacity) {
    Queue[(QueueHead + QueueCount) % kQueueCapacity] = report;
    ++QueueCount;
    taken = true;
  }
  ReleaseSRWLockExclusive(&Lock);
  if (!taken) Dropped.fetch_add(1, std::memory_order_relaxed);
  if (WakeEvent) SetEvent(WakeEvent);
}

bool Dequeue(QueuedReport& report) {
  AcquireSRWLockExclusive(&Lock);
  const bool any = QueueCount > 0;
  if (any) {
    report = Queue[QueueHead];
    QueueHead = (QueueHead + 1) % kQueueCapacity;
    --QueueCount;
  }
  ReleaseSRWLockExclusive(&Lock);
  return any;
}

void QueueRecord(const EventRecord& record) {
  QueuedReport report;
  report.Record = record;
  Enqueue(report);
}

// The source is registered on the first write (and again after a failed registration).
void Write(const EventRecord& record) {
  if (!Source) Source = RegisterEventSourceW(nullptr, kSourceName);
  if (!Source) return;
  std::array<const wchar_t*, EVENT_MAX_STRINGS> strings{};
  for (std::size_t i = 0; i < record.StringCount; ++i) strings[i] = record.Strings[i].data();
  ReportEventW(Source, static_cast<WORD>(record.Level), 0, record.Id, nullptr, record.StringCount, 0,
               record.StringCount ? strings.data() : nullptr, nullptr);
}

void WriteQueued(const QueuedReport& report) {
  if (!report.IsNotice) {
    Write(report.Record);
    return;
  }
  std::array<EventRecord, CONTROLLER_EVENTS_PER_NOTICE_MAX> events;
  const std::size_t count = ControllerNoticeEvents(ControllerReports, report.Notice, report.Error,
                                                   report.Record.Strings[0].data(), report.AtMs, events);
  for (std::size_t i = 0; i < count; ++i) Write(events[i]);
}

// Reports a full queue dropped: their count now (with the latest report), or with the held-back
// count when the hourly limit holds reports back anyway.
void WriteDropped() {
  std::array<EventRecord, 2> records;
  const std::size_t count = DroppedReportEvents(
      ControllerReports, Dropped.exchange(0, std::memory_order_relaxed), GetTickCount64(), records);
  for (std::size_t i = 0; i < count; ++i) Write(records[i]);
}

void WriteSummaryIfDue(bool force) {
  std::array<EventRecord, 2> records;
  const std::size_t count = TakeHeldBackSummary(ControllerReports, GetTickCount64(), force, records);
  for (std::size_t i = 0; i < count; ++i) Write(records[i]);
}

DWORD WINAPI WriterLoop(void*) {
  for (;;) {
    // Sleeps until a report comes, or until a held-back count is due to be written.
    DWORD waitMs = INFINITE;
    if (const std::uint64_t due = HeldBackSummaryDueMs(ControllerReports)) {
      const std::uint64_t now = GetTickCount64();
      waitMs = due <= now ? 0 : static_cast<DWORD>(due - now < EVENT_HOUR_MS ? due - now : EVENT_HOUR_MS);
    }
    WaitForSingleObject(WakeEvent, waitMs);
    QueuedReport report;
    while (Dequeue(report)) WriteQueued(report);
    WriteDropped();
    const bool ending = EndAsked.load(std::memory_order_acquire);
    WriteSummaryIfDue(ending);
    if (ending) break;
  }
  // The last word: after every report and a count still held back.
  Write(EndedEvent(kVersion));
  if (Source) DeregisterEventSource(Source);
  Source = nullptr;
  return 0;
}

}  // namespace

void StartEventLog() {
  if (WriterThread) return;
  if (!WakeEvent) WakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!WakeEvent) return;
  WriterThread = CreateThread(nullptr, 0, WriterLoop, nullptr, 0, nullptr);
}

void ReportStarted(const SettingValues& inForce, bool restarted) {
  QueueRecord(StartedEvent(kVersion, inForce, restarted));
}

void ReportStartFailed(const wchar_t* step, std::uint32_t error) { QueueRecord(StartFailedEvent(step, error)); }

void ReportSupportSectionTaken(const wchar_t* name) { QueueRecord(SupportSectionTakenEvent(name)); }

void ReportServicesSession(const wchar_t* account) { QueueRecord(ServicesSessionEvent(account)); }

void ReportSettingsOk(const SettingValues& before, const SettingValues& after, bool saved, std::uint32_t saveError) {
  std::array<EventRecord, 2> events;
  const std::size_t count = SettingsOkEvents(before, after, saved, saveError, events);
  for (std::size_t i = 0; i < count; ++i) QueueRecord(events[i]);
}

void ReportPoliciesInForce(const Policies& policies, const SettingValues& inForce) {
  QueueRecord(PoliciesInForceEvent(policies, inForce));
}

void ReportPolicyIgnored(PolicyValue value, const RawPolicyValue& raw) { QueueRecord(PolicyIgnoredEvent(value, raw)); }

void ReportDeviceNotice(DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  QueuedReport report;
  report.IsNotice = true;
  report.Notice = notice;
  report.Error = error;
  report.AtMs = GetTickCount64();
  if (path) FormatBounded(report.Record.Strings[0], L"%ls", path);
  Enqueue(report);
}

void EndEventLog(std::uint32_t timeoutMs) {
  if (!WriterThread) return;
  EndAsked.store(true, std::memory_order_release);
  SetEvent(WakeEvent);
  if (WaitForSingleObject(WriterThread, timeoutMs) == WAIT_OBJECT_0) {
    CloseHandle(WriterThread);
    WriterThread = nullptr;
  }
}
