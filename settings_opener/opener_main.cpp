// OstinelSettings.exe: asks the running utility to show its settings dialog. The installer and
// the uninstaller also use it to open the settings key to every user, to end the utility, which
// offers no exit command of its own, and to make the logon task for the folder they installed it
// in; administrators use it for the support report.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <array>
#include <cstdio>
#include <string>

#include "core/settings_table.h"
#include "win/win_handles.h"
#include "win/system_dlls.h"
#include "language/system_language.h"
#include "settings_opener/folder_trust_win.h"
#include "settings_opener/install_folder_win.h"
#include "settings_opener/opener_logic.h"
#include "support/diagnose_win.h"

namespace {

// The settings key's access list. RegSetKeySecurity replaces the whole list, so the usual
// owners of a machine key are listed again: SYSTEM and Administrators with full control, a
// subkey's creator with full control of it. Users may read and set values (0x2001B =
// KEY_READ | KEY_SET_VALUE), but not change the list or the owner.
constexpr wchar_t kSettingsKeyAccess[] = L"D:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CIIO;KA;;;CO)(A;CI;0x2001b;;;BU)";

constexpr DWORD kStopWaitMs = 10000;
constexpr DWORD kPoliteStopMs = 2000;
// Exit value of a copy that had to be ended: it did not end by itself.
constexpr UINT kForcedExitCode = 1;
constexpr int kMostCopies = 16;

constexpr UINT kAnswerWaitMs = 5000;

// Shows a message in the system's language and waits for the user.
void ShowMessage(OpenerMessage (*message)(std::int32_t)) {
  const OpenerMessage text = message(SystemLanguageMode());
  MessageBoxW(nullptr, text.Text, text.Caption, MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);
}

int OpenSettings() {
  const HWND main = FindWindowW(UTILITY_WINDOW_CLASS, nullptr);
  if (!main) {
    ShowMessage(NotRunningMessage);
    return OPENER_EXIT_NOT_RUNNING;
  }
  // This process was started by the user and may hand the foreground to the dialog's process.
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  AllowSetForegroundWindow(pid);
  // The request is queued behind whatever the utility is doing; a utility that takes no message
  // within the wait is stuck, and the user is told instead of seeing nothing happen.
  if (!PostMessageW(main, OPEN_SETTINGS_MESSAGE, 0, 0) ||
      !SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWaitMs, nullptr)) {
    ShowMessage(NotReachedMessage);
    return OPENER_EXIT_FAILED;
  }
  return OPENER_EXIT_OK;
}

// Creates the settings key in the 32-bit view when missing (values already there stay) and lets
// every user change the settings, so that a non-administrator's OK is not silently dropped.
int GrantSettingsAccess() {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WOW64_32KEY | READ_CONTROL | WRITE_DAC, nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    return OPENER_EXIT_FAILED;
  }
  const UniqueRegKey key(opened);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kSettingsKeyAccess, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return OPENER_EXIT_FAILED;
  }
  const UniqueLocalMemory descriptorMemory(descriptor);
  if (RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor) != ERROR_SUCCESS) return OPENER_EXIT_FAILED;
  return OPENER_EXIT_OK;
}

// An ended process's windows may outlive it for a moment.
bool WaitForWindowGone(HWND window) {
  const ULONGLONG deadline = GetTickCount64() + kStopWaitMs;
  while (IsWindow(window)) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
  return true;
}

// Ends every copy of the utility that this session can see: the running one and any copy that
// stays after a failed start. Succeeds when none is left.
int StopUtility() {
  for (int copy = 0; copy < kMostCopies; ++copy) {
    const HWND main = FindWindowW(UTILITY_WINDOW_CLASS, nullptr);
    if (!main) return OPENER_EXIT_OK;
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    // A process that cannot be opened may be one that is ending already: its window then goes.
    if (process) {
      // Asked politely first, the utility lets go of the controller and ends by itself; one that
      // does not answer in time is ended.
      PostMessageW(main, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(process.get(), kPoliteStopMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), kForcedExitCode);
        if (WaitForSingleObject(process.get(), kStopWaitMs) != WAIT_OBJECT_0) return OPENER_EXIT_FAILED;
      }
    }
    if (!WaitForWindowGone(main)) return OPENER_EXIT_FAILED;
  }
  return FindWindowW(UTILITY_WINDOW_CLASS, nullptr) ? OPENER_EXIT_FAILED : OPENER_EXIT_OK;
}

// The folder this program was started from, without the trailing backslash ("" on failure).
std::wstring OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// A name for the task definition's file that nobody can guess: 128 random bits in hexadecimal
// (RtlGenRandom, advapi32). A guessable name would let a user make the file first, and the
// install would fail. Empty when the system gives no random bits.
std::wstring UnguessableTaskFileName() {
  std::array<unsigned char, 16> bits{};
  if (!RtlGenRandom(bits.data(), static_cast<ULONG>(bits.size()))) return {};
  constexpr wchar_t kHex[] = L"0123456789abcdef";
  std::wstring name = L"OstinelTask-";
  for (const unsigned char value : bits) {
    name += kHex[value >> 4];
    name += kHex[value & 0xF];
  }
  return name + L".xml";
}

// Writes the logon task's definition (UTF-16, as schtasks reads it) to a new file in the Windows
// folder's Temp that only SYSTEM and Administrators may open: users may add files there but
// cannot open, delete or replace another's, so nobody else can swap the definition before
// schtasks reads it. Returns the file's path ("" on failure).
std::wstring WriteTaskDefinition(const std::wstring& definition) {
  std::array<wchar_t, MAX_PATH> windows{};
  const UINT length = GetSystemWindowsDirectoryW(windows.data(), static_cast<UINT>(windows.size()));
  if (length == 0 || length >= windows.size()) return {};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return {};
  }
  const UniqueLocalMemory descriptorMemory(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  // A name taken already is not opened: another is tried.
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::wstring name = UnguessableTaskFileName();
    if (name.empty()) return {};
    const std::wstring file = std::wstring(windows.data()) + L"\\Temp\\" + name;
    const UniqueFile out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
    if (!out) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return {};
    }
    const wchar_t byteOrderMark = 0xFEFF;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(definition.size() * sizeof(wchar_t));
    if (!WriteFile(out.get(), &byteOrderMark, sizeof(byteOrderMark), &written, nullptr) ||
        !WriteFile(out.get(), definition.data(), size, &written, nullptr) || written != size) {
      DeleteFileW(file.c_str());
      return {};
    }
    return file;
  }
  return {};
}

// Runs schtasks on the definition in file.
int RegisterTaskFrom(const std::wstring& file) {
  std::array<wchar_t, MAX_PATH> system{};
  const UINT systemLength = GetSystemDirectoryW(system.data(), static_cast<UINT>(system.size()));
  if (systemLength == 0 || systemLength >= system.size()) return OPENER_EXIT_FAILED;
  const std::wstring schtasks = std::wstring(system.data()) + L"\\schtasks.exe";
  std::wstring commandLine = L"\"" + schtasks + L"\" /create /tn Ostinel /xml \"" + file + L"\" /f";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(schtasks.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process)) {
    return OPENER_EXIT_FAILED;
  }
  const UniqueHandle processHandle(process.hProcess);
  const UniqueHandle threadHandle(process.hThread);
  DWORD exitCode = OPENER_EXIT_FAILED;
  if (WaitForSingleObject(processHandle.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(processHandle.get(), &exitCode)) {
    return OPENER_EXIT_FAILED;
  }
  return static_cast<int>(exitCode);
}

// The logon task for Ostinel.exe beside this program, wherever it was installed, registered with
// schtasks from a definition written where only administrators can change it, deleted after.
// The exit value is schtasks' own, or OPENER_EXIT_FAILED when it could not run.
int CreateLogonTask() {
  const std::wstring folder = OwnFolder();
  if (folder.empty()) return OPENER_EXIT_FAILED;
  const std::wstring file = WriteTaskDefinition(LogonTaskDefinition(folder + L"\\Ostinel.exe"));
  if (file.empty()) return OPENER_EXIT_FAILED;
  const int result = RegisterTaskFrom(file);
  DeleteFileW(file.c_str());
  return result;
}

// The installer's commands act on the program's own folder; run as SYSTEM (by the package) they
// refuse a program or folder that someone else could have changed (the reason on standard error,
// for a log that takes it; exit value OPENER_EXIT_UNTRUSTED). The setup, run by an administrator,
// locks the folder before it runs them.
bool TrustedForInstaller(const std::wstring& program) {
  const TrustVerdict verdict = JudgePathTrust(program);
  if (verdict.Trusted) return true;
  std::fwprintf(stderr, L"OstinelSettings refused: %ls\n", verdict.Reason.c_str());
  return false;
}

// The setup's install folder, before anything goes in: refused (OPENER_EXIT_FOLDER_REFUSED) unless it
// is new, empty or an earlier install's, with every folder above it safe from others; with lock,
// then created or set with its final permissions (OPENER_EXIT_FAILED when that fails). The reason
// goes to standard output, which the setup shows or logs.
int PrepareInstallFolder(const std::wstring& folder, bool lock) {
  const InstallFolderVerdict verdict = CheckInstallFolder(folder, RecordedInstallFolders());
  if (verdict.State == INSTALL_FOLDER_REFUSED) {
    std::fwprintf(stdout, L"%ls\n", verdict.Reason.c_str());
    return OPENER_EXIT_FOLDER_REFUSED;
  }
  if (!lock) return OPENER_EXIT_OK;
  std::wstring reason;
  if (!LockInstallFolder(folder, verdict.State, &reason)) {
    std::fwprintf(stdout, L"%ls\n", reason.c_str());
    return OPENER_EXIT_FAILED;
  }
  return OPENER_EXIT_OK;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  LoadDllsFromSystemOnly();
  const OpenerCommand command = OpenerCommandFromArguments(arguments);
  const std::wstring folder = OwnFolder();
  switch (command.Action) {
    case OPENER_OPEN_SETTINGS: return OpenSettings();
    case OPENER_GRANT_SETTINGS_ACCESS:
      if (RunningAsSystem() && !TrustedForInstaller(folder + L"\\OstinelSettings.exe")) return OPENER_EXIT_UNTRUSTED;
      return GrantSettingsAccess();
    case OPENER_STOP_UTILITY: return StopUtility();
    case OPENER_DIAGNOSE: return RunDiagnose(command.ReportFile);
    case OPENER_CREATE_LOGON_TASK:
      // The task starts Ostinel.exe in every user's session.
      if (RunningAsSystem() &&
          (!TrustedForInstaller(folder + L"\\OstinelSettings.exe") || !TrustedForInstaller(folder + L"\\Ostinel.exe"))) {
        return OPENER_EXIT_UNTRUSTED;
      }
      return CreateLogonTask();
    case OPENER_CHECK_INSTALL_FOLDER: return PrepareInstallFolder(command.InstallFolder, false);
    case OPENER_LOCK_INSTALL_FOLDER: return PrepareInstallFolder(command.InstallFolder, true);
    case OPENER_INVALID_ARGUMENTS: break;
  }
  return OPENER_EXIT_USAGE;
}
