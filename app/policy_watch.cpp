#include "app/policy_watch.h"

#include <array>

#include "core/app_state.h"
#include "core/policy_merge.h"
#include "store/policy_store.h"
#include "store/settings_store.h"
#include "core/status_log.h"
#include "eventlog/event_log.h"
#include "in_force/settings_in_force.h"
#include "settings_ui/settings_dialog.h"
#include "win/win_handles.h"

namespace {

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
bool Armed = false;             // a change notice is asked for on Watched

using GpNotificationCall = BOOL(WINAPI*)(HANDLE, BOOL);
using EnterPolicySectionCall = HANDLE(WINAPI*)(BOOL);
using LeavePolicySectionCall = BOOL(WINAPI*)(HANDLE);
EnterPolicySectionCall EnterPolicySection = nullptr;
LeavePolicySectionCall LeavePolicySection = nullptr;

template <typename Call>
Call Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// From userenv.dll, looked up so the program still starts where it or a call is missing: Group
// Policy's event after each machine policy refresh, and the machine policy's critical section.
void LoadGroupPolicyCalls() {
  HMODULE userenv = LoadLibraryExW(L"userenv.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!userenv) return;
  EnterPolicySection = Lookup<EnterPolicySectionCall>(userenv, "EnterCriticalPolicySection");
  LeavePolicySection = Lookup<LeavePolicySectionCall>(userenv, "LeaveCriticalPolicySection");
  auto registerCall = Lookup<GpNotificationCall>(userenv, "RegisterGPNotification");
  RefreshEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!registerCall || !RefreshEvent || !registerCall(RefreshEvent.get(), TRUE)) RefreshEvent.reset();
}

// Opens the key to watch: SOFTWARE\Policies, or SOFTWARE while that does not exist, so its
// creation is heard too.
void OpenWatchedKey() {
  if (WatchingPolicies) return;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPoliciesRoot, 0, KEY_NOTIFY | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    Watched.reset(key);
    WatchingPolicies = true;
  } else if (!Watched &&
             RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSoftwareRoot, 0, KEY_NOTIFY | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    Watched.reset(key);
  }
}

// Asks for the next change under the watched key (subtree, names and values), unless already
// asked. A deleted key cannot be watched: it is opened again (or its parent), once. False when
// nothing could be watched.
bool ArmChangeNotice() {
  constexpr DWORD kFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
  for (int attempt = 0; attempt < 2 && !Armed; ++attempt) {
    OpenWatchedKey();
    if (!Watched) return false;
    Armed = RegNotifyChangeKeyValue(Watched.get(), TRUE, kFilter, ChangeEvent.get(), TRUE) == ERROR_SUCCESS;
    if (!Armed) {
      Watched.reset();
      WatchingPolicies = false;
    }
  }
  return Armed;
}

// Whether the watched key is still the one to watch: not deleted (a deleted key never gives
// another notice), and not SOFTWARE once SOFTWARE\Policies exists.
bool WatchedKeyCurrent() {
  if (!Watched) return false;
  DWORD values = 0;
  if (RegQueryInfoKeyW(Watched.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (WatchingPolicies) return true;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPoliciesRoot, 0, KEY_NOTIFY | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return true;
  }
  RegCloseKey(key);
  return false;
}

// Lets the watched key go, so the next arming opens the right one. Closing a key with a notice
// asked for may signal it; that is no change.
void ReleaseWatchedKey() {
  Watched.reset();
  WatchingPolicies = false;
  Armed = false;
  ResetEvent(ChangeEvent.get());
}

// Inside the machine policy's critical section, so Group Policy does not delete or write the
// values meanwhile; where the section is not to be had, the values are read all the same.
RawPolicies ReadInPolicySection() {
  HANDLE section = EnterPolicySection ? EnterPolicySection(TRUE) : nullptr;
  const RawPolicies raw = ReadPolicies();
  if (section && LeavePolicySection) LeavePolicySection(section);
  return raw;
}

// Reads after arming, so a change that lands during the read raises the next notice.
void ReadAndHandOver() {
  const RawPolicies raw = ReadInPolicySection();
  if (raw == LastRead) return;
  LastRead = raw;
  AcquireSRWLockExclusive(&PublishedLock);
  Published = raw;
  ReleaseSRWLockExclusive(&PublishedLock);
  PostMessageW(MainWindow, WM_POLICY_CHANGED, 0, 0);
}

// Waits for a change notice or a refresh; false after the timeout.
bool WaitForNotice(DWORD timeoutMs) {
  std::array<HANDLE, 2> events{ChangeEvent.get(), RefreshEvent.get()};
  const DWORD count = RefreshEvent ? 2 : 1;
  const DWORD result = WaitForMultipleObjects(count, events.data(), FALSE, timeoutMs);
  if (result == WAIT_OBJECT_0) Armed = false;  // a notice is given once per arming
  return result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count;
}

// After a notice: listens on and returns once the key has been quiet long enough (or the burst
// has lasted too long), so a refresh that deletes values and writes them again is read whole.
void WaitForQuiet() {
  const ULONGLONG first = GetTickCount64();
  ULONGLONG latest = first;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD delay =
        PolicyReadDelay(static_cast<std::uint32_t>(now - first), static_cast<std::uint32_t>(now - latest));
    if (delay == 0) return;
    if (!ArmChangeNotice()) {
      Sleep(delay);  // nothing to listen to: the burst ends with the delay
      continue;
    }
    if (WaitForNotice(delay)) latest = GetTickCount64();
  }
}

DWORD WINAPI WatchPolicies(void*) {
  for (;;) {
    if (!WatchedKeyCurrent()) ReleaseWatchedKey();
    const bool armed = ArmChangeNotice();
    ReadAndHandOver();
    if (WaitForNotice(armed ? INFINITE : kUnwatchedPollMs)) WaitForQuiet();
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
  ApplyPolicies(policies);
  // The dialog shows what is in force now.
  if (AppState.SettingsDialog) ShowSettingsInForce(AsWindow(AppState.SettingsDialog));
}

}  // namespace

void StartPolicyWatch(HWND mainWindow) {
  MainWindow = mainWindow;
  LastRead = ReadPolicies();
  Published = LastRead;
  ApplyReading(LastRead, true);

  ChangeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ChangeEvent) return;
  LoadGroupPolicyCalls();
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
