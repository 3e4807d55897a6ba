#include "app/policy_watch.h"

#include <array>

#include "core/app_state.h"
#include "core/policy_merge.h"
#include "core/policy_store.h"
#include "core/settings_store.h"
#include "core/status_log.h"
#include "eventlog/event_log.h"
#include "settings_ui/settings_dialog.h"
#include "win/win_handles.h"

namespace {

// A Group Policy refresh writes many values in a row: after a notice the thread lets this much
// time pass before it reads, so one refresh makes one reading (and at most one command).
constexpr DWORD kSettleMs = 100;
// While neither SOFTWARE\Policies nor SOFTWARE can be watched, the thread reads this often.
constexpr DWORD kUnwatchedPollMs = 1000;
constexpr wchar_t kPoliciesRoot[] = L"SOFTWARE\\Policies";
constexpr wchar_t kSoftwareRoot[] = L"SOFTWARE";

HWND MainWindow = nullptr;
// The latest reading of the watching thread, taken by the UI thread.
SRWLOCK PublishedLock = SRWLOCK_INIT;
RawPolicies Published{};
// UI thread: which bad values were told already.
IgnoredPolicyMemory Ignored;

// Watching thread only.
RawPolicies LastRead{};
UniqueHandle ChangeEvent;   // the registry's change notice
UniqueHandle RefreshEvent;  // Group Policy's refresh notice, where the system offers one
UniqueRegKey Watched;
bool WatchingPolicies = false;  // Watched is SOFTWARE\Policies (otherwise SOFTWARE, until it exists)

using GpNotificationCall = BOOL(WINAPI*)(HANDLE, BOOL);

// Group Policy signals the event after each machine policy refresh (userenv.dll; looked up, so
// the program still starts where it is missing).
void RegisterRefreshNotice() {
  HMODULE userenv = LoadLibraryExW(L"userenv.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!userenv) return;
  auto registerCall =
      reinterpret_cast<GpNotificationCall>(reinterpret_cast<void*>(GetProcAddress(userenv, "RegisterGPNotification")));
  RefreshEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!registerCall || !RefreshEvent || !registerCall(RefreshEvent.get(), TRUE)) RefreshEvent.reset();
}

// Asks for the next change under SOFTWARE\Policies (subtree, names and values). While that key
// does not exist, SOFTWARE is watched instead, so its creation is heard too. False when nothing
// could be watched.
bool ArmChangeNotice() {
  if (!WatchingPolicies) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPoliciesRoot, 0, KEY_NOTIFY | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
      Watched.reset(key);
      WatchingPolicies = true;
    } else if (!Watched &&
               RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSoftwareRoot, 0, KEY_NOTIFY | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
      Watched.reset(key);
    }
  }
  if (!Watched) return false;
  constexpr DWORD kFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
  if (RegNotifyChangeKeyValue(Watched.get(), TRUE, kFilter, ChangeEvent.get(), TRUE) == ERROR_SUCCESS) return true;
  // The watched key was deleted: open it (or its parent) again next time.
  Watched.reset();
  WatchingPolicies = false;
  return false;
}

// Reads after arming, so a change that lands during the read raises the next notice.
void ReadAndHandOver() {
  const RawPolicies raw = ReadPolicies();
  if (raw == LastRead) return;
  LastRead = raw;
  AcquireSRWLockExclusive(&PublishedLock);
  Published = raw;
  ReleaseSRWLockExclusive(&PublishedLock);
  PostMessageW(MainWindow, WM_POLICY_CHANGED, 0, 0);
}

DWORD WINAPI WatchPolicies(void*) {
  for (;;) {
    const bool armed = ArmChangeNotice();
    ReadAndHandOver();
    std::array<HANDLE, 2> events{ChangeEvent.get(), RefreshEvent.get()};
    const DWORD count = RefreshEvent ? 2 : 1;
    WaitForMultipleObjects(count, events.data(), FALSE, armed ? INFINITE : kUnwatchedPollMs);
    Sleep(kSettleMs);
  }
}

// Puts a reading in force on the UI thread. Bad values are told once each: into the status log
// at start, while the UI thread still owns it, later handed to the device thread that owns it.
void ApplyReading(const RawPolicies& raw, bool atStart) {
  std::array<bool, POLICY_COUNT> fresh{};
  if (TakeNewlyIgnored(Ignored, raw, fresh) > 0) {
    for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
      if (!fresh[i]) continue;
      ReportPolicyIgnored(static_cast<PolicyValue>(i), raw[i]);
      std::array<wchar_t, LINE_SCRATCH_CAPACITY> line{};
      FormatIgnoredPolicy(line, static_cast<PolicyValue>(i), raw[i]);
      if (atStart) {
        LogLine(AppState, L"%ls", line.data());
      } else {
        HandLogLine(AppState, line.data());
      }
    }
  }
  const Policies policies = DecidePolicies(raw);
  // Without any policy at start nothing differs from a program that knows none.
  if (atStart ? !policies.Any() : policies == AppState.PoliciesInForce) return;
  ApplyPolicies(AsWindow(AppState.SettingsDialog), policies);
}

}  // namespace

void StartPolicyWatch(HWND mainWindow) {
  MainWindow = mainWindow;
  LastRead = ReadPolicies();
  Published = LastRead;
  ApplyReading(LastRead, true);

  ChangeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ChangeEvent) return;
  RegisterRefreshNotice();
  // Runs until the process ends; it holds nothing that must be let go.
  HANDLE thread = CreateThread(nullptr, 0, WatchPolicies, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void OnPolicyChangeNotice() {
  AcquireSRWLockShared(&PublishedLock);
  const RawPolicies raw = Published;
  ReleaseSRWLockShared(&PublishedLock);
  ApplyReading(raw, false);
}
