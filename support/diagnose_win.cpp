// The support report's gathering: registry, running copies and their support sections, devices,
// displays, sound, system and signature; then the report goes to the file or standard output.
#include "support/diagnose_win.h"

#include <windows.h>
// Listed after windows.h, whose types they need.
#include <aclapi.h>
#include <mmsystem.h>
#include <sddl.h>
#include <setupapi.h>
#include <softpub.h>
#include <tlhelp32.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "device/device_discovery.h"
#include "device/device_protocol.h"
#include "ostinel_version.h"
#include "store/policy_store.h"
#include "core/settings_table.h"
#include "res/resource_ids.h"
#include "support/diagnose_logic.h"
#include "win/dpi_scale.h"
#include "win/win_handles.h"

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kUtilityName[] = L"Ostinel.exe";
constexpr wchar_t kTaskName[] = L"Ostinel";
constexpr DWORD kAnswerWaitMs = 2000;

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

std::wstring IsoTime(const SYSTEMTIME& time) {
  wchar_t text[32] = L"";
  wsprintfW(text, L"%04u-%02u-%02uT%02u:%02u:%02uZ", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
            time.wSecond);
  return text;
}

std::optional<DWORD> DwordValue(HKEY key, const wchar_t* name) {
  DWORD type = 0, value = 0, size = sizeof(value);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::wstring> StringValue(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

bool IsOrdinaryUsersSid(PSID sid) {
  for (WELL_KNOWN_SID_TYPE type : {WinBuiltinUsersSid, WinAuthenticatedUserSid, WinWorldSid, WinInteractiveSid}) {
    if (IsWellKnownSid(sid, type)) return true;
  }
  return false;
}

void GatherSettings(DiagnoseReport& report) {
  report.Policies = ReadPolicies();
  HKEY opened = nullptr;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0,
                                 KEY_QUERY_VALUE | READ_CONTROL | KEY_WOW64_32KEY, &opened);
  // A list this user may not read still leaves the values to read.
  if (status == ERROR_ACCESS_DENIED) {
    status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &opened);
  }
  report.SettingsKeyPresent = status != ERROR_FILE_NOT_FOUND;
  if (status != ERROR_SUCCESS) return;
  const UniqueRegKey key(opened);
  for (StoredSetting s : STORED_SETTINGS) report.Stored[s] = DwordValue(key.get(), StoredValueOf(s).Name);

  DWORD size = 0;
  RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  std::vector<BYTE> descriptor(size);
  if (size == 0 || RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.data(), &size) != ERROR_SUCCESS) {
    return;
  }
  LPWSTR sddl = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                           DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
    report.SettingsAccess = sddl;
    LocalFree(sddl);
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted)) return;
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
    // Both kinds share the layout: header, mask, SID.
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    AccessEntry entry;
    entry.Deny = header->AceType == ACCESS_DENIED_ACE_TYPE;
    entry.InheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    entry.Mask = allowed->Mask;
    entry.OrdinaryUsers = IsOrdinaryUsersSid(&allowed->SidStart);
    entries.push_back(entry);
  }
  report.UsersMayChange = UsersMayChangeSettings(present && dacl != nullptr, entries);
}

// The controller's interface as the utility's discovery looks for it.
void GatherController(DiagnoseReport& report) {
  GUID guid = ControllerInterfaceClass();
  const UniqueDeviceInfoList list(
      SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!list) return;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &guid, 0, &data)) return;
  report.ControllerPresent = true;
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailW(list.get(), &data, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return;
  std::vector<BYTE> block(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (SetupDiGetDeviceInterfaceDetailW(list.get(), &data, detail, required, nullptr, nullptr)) {
    const std::size_t capacity =
        (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    report.InterfacePath.assign(detail->DevicePath, wcsnlen(detail->DevicePath, capacity));
  }
}

// A path of an existing file in its long form (no 8.3 names), else as it was given.
std::wstring LongPath(const std::wstring& path) {
  const DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring longPath(size, L'\0');
  const DWORD length = GetLongPathNameW(path.c_str(), longPath.data(), size);
  if (length == 0 || length >= size) return path;
  longPath.resize(length);
  return longPath;
}

// The utility installed beside this tool: the only program whose support section is believed.
std::wstring InstalledUtility() {
  std::wstring own(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size()));
  if (length == 0 || length >= own.size()) return L"";
  own.resize(length);
  own.resize(own.find_last_of(L'\\') + 1);
  return LongPath(own + kUtilityName);
}

std::vector<std::uint8_t> SidBytes(PSID sid) {
  if (!sid || !IsValidSid(sid)) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(sid);
  return std::vector<std::uint8_t>(bytes, bytes + GetLengthSid(sid));
}

// What opening a process tells: its image, session and user. Empty where it would not tell (a
// process of another user needs an administrator with SeDebugPrivilege, its token SYSTEM, and one
// that ended tells nothing).
ProcessFacts OpenedProcessFacts(DWORD pid) {
  ProcessFacts facts;
  DWORD session = 0;
  if (ProcessIdToSessionId(pid, &session)) facts.Session = session;
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return facts;
  std::wstring image(32768, L'\0');
  DWORD length = static_cast<DWORD>(image.size());
  if (QueryFullProcessImageNameW(process.get(), 0, image.data(), &length)) {
    image.resize(length);
    facts.Image = LongPath(image);
  }
  HANDLE opened = nullptr;
  if (OpenProcessToken(process.get(), TOKEN_QUERY, &opened)) {
    const UniqueHandle token(opened);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size >= sizeof(TOKEN_USER) && GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
      facts.User = SidBytes(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
    }
  }
  return facts;
}

// Every session's processes with their users, as the system lists them.
std::vector<ListedProcess> SessionsProcessList() {
  std::vector<ListedProcess> listed;
  WTS_PROCESS_INFOW* list = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count) || !list) return listed;
  for (DWORD i = 0; i < count; ++i) {
    listed.push_back(ListedProcess{list[i].ProcessId, list[i].SessionId, SidBytes(list[i].pUserSid)});
  }
  WTSFreeMemory(list);
  return listed;
}

// An administrator's token holds SeDebugPrivilege, disabled: enabled, it opens every user's
// process for its image. A token without it is left as it is.
void EnableDebugPrivilege() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) return;
  const UniqueHandle token(opened);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

std::vector<RunningCopy> ListUtilityProcesses(const std::wstring& installed, const std::vector<ListedProcess>& list) {
  std::vector<RunningCopy> copies;
  const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return copies;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, kUtilityName) != 0) continue;
    RunningCopy copy;
    copy.ProcessId = entry.th32ProcessID;
    const ProcessFacts facts =
        CombineProcessFacts(entry.th32ProcessID, OpenedProcessFacts(entry.th32ProcessID), list);
    copy.Session = facts.Session;
    // Named like the utility is not enough: a program of that name elsewhere is not it.
    if (!facts.Image.empty()) copy.Installed = IsInstalledImage(facts.Image, installed);
    copies.push_back(copy);
  }
  return copies;
}

void PauseBetweenReads() { Sleep(1); }

// The support section of a session ("Local\" for this one, "Session\N\" for another), and whether
// it is believed: anyone may have made it before the utility and written anything into it.
std::optional<SessionSection> ReadSessionSection(std::uint32_t session, bool own, const std::wstring& installed,
                                                 const std::vector<ListedProcess>& list) {
  const std::wstring name = (own ? std::wstring(L"Local\\") : L"Session\\" + std::to_wstring(session) + L"\\") +
                            SUPPORT_SECTION_NAME;
  // Its owner is read through the handle; a section whose list grants reading alone is still read.
  UniqueHandle mapping(OpenFileMappingW(FILE_MAP_READ | READ_CONTROL, FALSE, name.c_str()));
  if (!mapping) mapping.reset(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
  if (!mapping) return std::nullopt;
  SectionOrigin origin;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(mapping.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) == ERROR_SUCCESS) {
    origin.Owner = SidBytes(owner);
    LocalFree(descriptor);
  }
  const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (!view) return std::nullopt;
  std::optional<SessionSection> result;
  MEMORY_BASIC_INFORMATION region{};
  // The view is whole pages: a section made smaller than this layout reads as zeros past its end.
  // One made with SEC_RESERVE has pages that fault when read until its maker commits them.
  if (VirtualQuery(view, &region, sizeof(region)) && region.State == MEM_COMMIT &&
      region.RegionSize >= sizeof(SupportSection)) {
    SupportSnapshot snapshot;
    if (ReadSupportSectionSettled(*static_cast<const SupportSection*>(view), snapshot, SUPPORT_READ_TRIES,
                                  PauseBetweenReads) == SupportRead::Done) {
      const ProcessFacts facts =
          CombineProcessFacts(snapshot.ProcessId, OpenedProcessFacts(snapshot.ProcessId), list);
      origin.ProcessImage = facts.Image;
      origin.ProcessSession = facts.Session;
      origin.ProcessUser = facts.User;
      result = SessionSection{session, snapshot, SectionTrusted(session, snapshot, origin, installed)};
    }
  }
  UnmapViewOfFile(view);
  return result;
}

struct WindowSearch {
  DWORD ProcessId;
  HWND Found;
};

BOOL CALLBACK FindUtilityWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t className[64] = L"";
  if (pid == search->ProcessId && GetClassNameW(window, className, 64) && lstrcmpW(className, MAIN_WINDOW_CLASS) == 0) {
    search->Found = window;
    return FALSE;
  }
  return TRUE;
}

void GatherCopies(DiagnoseReport& report) {
  const DWORD console = WTSGetActiveConsoleSessionId();
  if (console != 0xFFFFFFFFu) report.ConsoleSession = console;
  DWORD own = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &own);

  const std::wstring installed = InstalledUtility();
  const std::vector<ListedProcess> list = SessionsProcessList();
  const std::vector<RunningCopy> processes = ListUtilityProcesses(installed, list);
  std::vector<std::uint32_t> sessions{own};
  for (const RunningCopy& process : processes) {
    if (process.Session && std::find(sessions.begin(), sessions.end(), *process.Session) == sessions.end()) {
      sessions.push_back(*process.Session);
    }
  }
  std::vector<SessionSection> sections;
  for (std::uint32_t session : sessions) {
    if (std::optional<SessionSection> section = ReadSessionSection(session, session == own, installed, list)) {
      sections.push_back(*section);
    }
  }
  report.Copies = MergeCopies(processes, sections, report.ConsoleSession);

  // A copy of this session shows whether its windows' thread takes messages.
  for (DiagnoseCopy& copy : report.Copies) {
    if (!copy.Session || *copy.Session != own) continue;
    WindowSearch search{copy.ProcessId, nullptr};
    EnumWindows(FindUtilityWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.Found) continue;
    DWORD_PTR result = 0;
    copy.Responding = SendMessageTimeoutW(search.Found, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWaitMs, &result) != 0;
  }
}

void GatherAutostart(DiagnoseReport& report) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) == ERROR_SUCCESS) {
    const UniqueRegKey key(opened);
    report.RunValue = StringValue(key.get(), L"Ostinel");
  }
  wchar_t system[MAX_PATH] = L"";
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring task = std::wstring(system) + L"\\Tasks\\" + kTaskName;
  if (GetFileAttributesW(task.c_str()) != INVALID_FILE_ATTRIBUTES) {
    report.TaskPresent = true;
  } else {
    const DWORD error = GetLastError();
    // Ordinary users may not look into the task folder: then nothing is known.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) report.TaskPresent = false;
  }
}

BOOL CALLBACK AddDisplay(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
  auto* displays = reinterpret_cast<std::vector<DisplayInfo>*>(param);
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  DisplayInfo display;
  display.Left = info.rcMonitor.left;
  display.Top = info.rcMonitor.top;
  display.Right = info.rcMonitor.right;
  display.Bottom = info.rcMonitor.bottom;
  display.Primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  display.Dpi = DpiOfMonitor(monitor);
  display.Name = info.szDevice;
  displays->push_back(display);
  return TRUE;
}

constexpr std::uint16_t ProgramMachine() {
#if defined(_M_ARM64) || defined(__aarch64__)
  return 0xAA64;
#elif defined(_M_X64) || defined(__x86_64__)
  return 0x8664;
#else
  return 0x014C;
#endif
}

void GatherSystem(DiagnoseReport& report) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (rtlGetVersion && rtlGetVersion(&version) == 0) {
    report.OsMajor = version.dwMajorVersion;
    report.OsMinor = version.dwMinorVersion;
    report.OsBuild = version.dwBuildNumber;
  }
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) == ERROR_SUCCESS) {
    const UniqueRegKey key(opened);
    report.OsRevision = DwordValue(key.get(), L"UBR");
    report.OsEdition = StringValue(key.get(), L"ProductName").value_or(L"");
    report.OsRelease = StringValue(key.get(), L"DisplayVersion").value_or(L"");
  }

  // x64 code on an Arm64 Windows runs emulated: the system's own machine says so (Windows 10 1709 on).
  report.ProgramMachine = ProgramMachine();
  using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
  USHORT process = 0, native = 0;
  if (isWow64Process2 && isWow64Process2(GetCurrentProcess(), &process, &native)) {
    report.NativeMachine = native;
  } else {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
      case PROCESSOR_ARCHITECTURE_AMD64: report.NativeMachine = 0x8664; break;
      case 12 /* PROCESSOR_ARCHITECTURE_ARM64 */: report.NativeMachine = 0xAA64; break;
      case PROCESSOR_ARCHITECTURE_INTEL: report.NativeMachine = 0x014C; break;
      default: break;
    }
  }

  report.AudioOutputs = waveOutGetNumDevs();
  // The monitors are those of this tool's session.
  EnumDisplayMonitors(nullptr, nullptr, AddDisplay, reinterpret_cast<LPARAM>(&report.Displays));
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
    for (DisplayInfo& display : report.Displays) display.Session = session;
  }
}

// Whether the utility beside this program is signed by a publisher this computer trusts. Nothing
// is fetched from the network: revocation is not checked.
void GatherSignature(DiagnoseReport& report) {
  wchar_t own[MAX_PATH] = L"";
  const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring path(own, length);
  path.resize(path.find_last_of(L'\\') + 1);
  path += kUtilityName;
  report.SignedFile = path;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    report.SignatureStatus = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    return;
  }
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  report.SignatureStatus = static_cast<std::uint32_t>(status);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

bool WriteToConsole(HANDLE console, const std::string& text) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  DWORD written = 0;
  return WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
}

// Standard output: a redirected file or pipe takes the UTF-8 bytes; a console (this program's,
// or the one of the command prompt that started it) takes the text.
bool WriteToStandardOutput(const std::string& text) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output && output != INVALID_HANDLE_VALUE && GetFileType(output) != FILE_TYPE_UNKNOWN) {
    DWORD mode = 0;
    return GetConsoleMode(output, &mode) ? WriteToConsole(output, text) : WriteAll(output, text);
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  const UniqueFile console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  return console && WriteToConsole(console.get(), text);
}

}  // namespace

int RunDiagnose(const std::wstring& reportFile) {
  DiagnoseReport report;
  report.Version = Widen(OSTINEL_VERSION_STRING);
  SYSTEMTIME now{};
  GetSystemTime(&now);
  report.Generated = IsoTime(now);
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = L"";
  DWORD computerLength = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameW(computer, &computerLength)) report.Computer = computer;

  EnableDebugPrivilege();
  GatherSettings(report);
  GatherController(report);
  GatherCopies(report);
  GatherAutostart(report);
  GatherSystem(report);
  GatherSignature(report);

  const std::string text = DiagnoseReportJson(report);
  bool written = false;
  if (reportFile.empty()) {
    written = WriteToStandardOutput(text);
  } else {
    const UniqueFile file(
        CreateFileW(reportFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    written = file && WriteAll(file.get(), text) && FlushFileBuffers(file.get());
  }
  return written ? DiagnoseExitCode(report) : DIAGNOSE_EXIT_NOT_WRITTEN;
}
