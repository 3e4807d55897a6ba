// OstinelSettings.exe against the real utility: opening the settings, the message when the utility
// is not running, the installer's modes (settings key access, stopping the utility) and the
// support report.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "core/settings_table.h"
#include "e2e/program_test.h"
#include "language/interface_language.h"
#include "settings_opener/opener_logic.h"
#include "support/diagnose_logic.h"
#include "tools/sim_controller/sim_controller.h"
#include "win/win_handles.h"

namespace {

constexpr const wchar_t* kSettingsKey = SETTINGS_KEY;
constexpr int kMessageBoxText = 0xFFFF;  // the static that holds a message box's text
constexpr wchar_t kUnixEnv[] = L"Z:\\usr\\bin\\env";

// Starts the opener with the given arguments.
LaunchedProcess RunOpener(const std::wstring& arguments) {
  return Launch(SiblingProgram(L"OstinelSettings.exe"), {}, arguments);
}

// A visible dialog window (the message box) of the process.
HWND WaitForVisibleDialog(DWORD pid, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = FindProcessWindow(pid, kDialogClass, nullptr);
        return found && IsWindowVisible(found);
      },
      timeoutMs);
  return found;
}

void PressOk(HWND messageBox) {
  HWND ok = GetDlgItem(messageBox, IDOK);
  ASSERT_NE(ok, nullptr);
  PostMessageW(ok, BM_CLICK, 0, 0);
}

std::int32_t OwnLanguageMode() {
  wchar_t abbreviation[16] = {};
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation, 16);
  return LanguageModeFromAbbreviation(abbreviation);
}

using Opener = ProgramTest;

TEST_F(Opener, ShowsTheSettingsDialogOfTheRunningUtility) {
  LaunchedProcess app = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(app.Pid()), nullptr);
  HWND dialog = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (dialog = FindSettingsDialog(app.Pid())) != nullptr; }, 5000));
  ASSERT_FALSE(IsWindowVisible(dialog));

  // The user works in another application; the dialog comes in front of it.
  HWND user = CreateWindowExW(0, L"STATIC", L"user's application", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(user, nullptr);
  SetForegroundWindow(user);
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == user; }, 2000));
  LaunchedProcess opener = RunOpener(L"");
  ASSERT_NE(opener.info.hProcess, nullptr) << "opener did not start";
  EXPECT_EQ(opener.WaitExit(10000), 0u);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == dialog; }, 2000));
  DestroyWindow(user);
  EXPECT_TRUE(app.Running());

  // Again while the dialog is up: still fine, still one dialog.
  LaunchedProcess again = RunOpener(L"");
  EXPECT_EQ(again.WaitExit(10000), 0u);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(FindSettingsDialog(app.Pid()), dialog);
}

TEST_F(Opener, WithoutTheUtilityItSaysSoAndFails) {
  LaunchedProcess opener = RunOpener(L"");
  HWND box = WaitForVisibleDialog(opener.Pid(), 10000);
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_TRUE(opener.Running());  // it waits for the user

  const OpenerMessage expected = NotRunningMessage(OwnLanguageMode());
  EXPECT_EQ(ControlText(box, kMessageBoxText), expected.Text);
  EXPECT_EQ(WindowTextOf(box), expected.Caption);
  if (OwnLanguageMode() == LANGUAGE_ENGLISH) {
    EXPECT_EQ(ControlText(box, kMessageBoxText),
              L"Ostinel is not running, so its settings cannot be opened. Start Ostinel first.");
    EXPECT_EQ(WindowTextOf(box), L"Ostinel Settings");
  }
  // Nothing was started or created on the way.
  EXPECT_EQ(FindWindowW(MAIN_WINDOW_CLASS, nullptr), nullptr);

  PressOk(box);
  EXPECT_EQ(opener.WaitExit(5000), static_cast<DWORD>(OPENER_EXIT_NOT_RUNNING));
}

// A utility that is running but stuck: its main window exists, its thread takes no message until
// released. Lives in this process and is gone before the fixture ends every utility it finds.
class StuckUtility {
 public:
  StuckUtility() {
    release_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    if (thread_) WaitForSingleObject(ready_, 5000);
  }
  ~StuckUtility() {
    SetEvent(release_);
    if (thread_) {
      WaitForSingleObject(thread_, 10000);
      CloseHandle(thread_);
    }
    CloseHandle(release_);
    CloseHandle(ready_);
  }
  StuckUtility(const StuckUtility&) = delete;
  StuckUtility& operator=(const StuckUtility&) = delete;
  HWND Window() const { return window_; }

 private:
  static DWORD WINAPI Run(void* param) {
    auto* self = static_cast<StuckUtility*>(param);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    const ATOM atom = RegisterClassW(&windowClass);
    self->window_ = CreateWindowExW(0, MAIN_WINDOW_CLASS, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    SetEvent(self->ready_);
    WaitForSingleObject(self->release_, INFINITE);  // stuck: no message is taken meanwhile
    if (self->window_) DestroyWindow(self->window_);
    if (atom) UnregisterClassW(MAIN_WINDOW_CLASS, windowClass.hInstance);
    return 0;
  }

  HANDLE release_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  HWND window_ = nullptr;
};

TEST_F(Opener, AUtilityThatDoesNotAnswerIsReportedInsteadOfSilence) {
  const StuckUtility stuck;
  ASSERT_NE(stuck.Window(), nullptr);
  ASSERT_EQ(FindWindowW(MAIN_WINDOW_CLASS, nullptr), stuck.Window());

  LaunchedProcess opener = RunOpener(L"");
  HWND box = WaitForVisibleDialog(opener.Pid(), 20000);
  ASSERT_NE(box, nullptr) << "no message box";
  const OpenerMessage expected = NotReachedMessage(OwnLanguageMode());
  EXPECT_EQ(ControlText(box, kMessageBoxText), expected.Text);
  EXPECT_EQ(WindowTextOf(box), expected.Caption);
  if (OwnLanguageMode() == LANGUAGE_ENGLISH) {
    EXPECT_EQ(ControlText(box, kMessageBoxText),
              L"Ostinel is running but did not answer, so its settings cannot be opened. Try again in a moment, "
              L"or restart Ostinel.");
  }
  PressOk(box);
  EXPECT_EQ(opener.WaitExit(5000), static_cast<DWORD>(OPENER_EXIT_FAILED));
}

TEST_F(Opener, UnknownArgumentsDoNothing) {
  for (const wchar_t* arguments : {L"/bogus", L"/stop-utility /grant-settings-access", L"settings"}) {
    LaunchedProcess opener = RunOpener(arguments);
    EXPECT_EQ(opener.WaitExit(5000), static_cast<DWORD>(OPENER_EXIT_USAGE)) << arguments;
  }
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_32KEY, &key),
            ERROR_FILE_NOT_FOUND);
  if (key) RegCloseKey(key);
}

// ACCESS_ALLOWED masks of the key's DACL for one well-known SID (0 when it has none).
ACCESS_MASK AllowedFor(PSECURITY_DESCRIPTOR descriptor, WELL_KNOWN_SID_TYPE type) {
  BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(sidBuffer);
  if (!CreateWellKnownSid(type, nullptr, sidBuffer, &sidSize)) return 0;
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return 0;
  ACCESS_MASK mask = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    if ((allowed->Header.AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    if (EqualSid(&allowed->SidStart, sidBuffer)) mask |= allowed->Mask;
  }
  return mask;
}

struct KeySecurity {
  std::vector<BYTE> Descriptor;
  std::wstring Sddl;
};

KeySecurity ReadKeySecurity(HKEY key) {
  KeySecurity result;
  DWORD size = 0;
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  result.Descriptor.resize(size);
  if (size == 0 ||
      RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, result.Descriptor.data(), &size) != ERROR_SUCCESS) {
    result.Descriptor.clear();
    return result;
  }
  LPWSTR text = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(result.Descriptor.data(), SDDL_REVISION_1,
                                                           DACL_SECURITY_INFORMATION, &text, nullptr)) {
    result.Sddl = text;
    LocalFree(text);
  }
  return result;
}

TEST_F(Opener, GrantCreatesTheKeyInThe32BitViewAndLetsUsersChangeIt) {
  LaunchedProcess opener = RunOpener(L"/grant-settings-access");
  ASSERT_EQ(opener.WaitExit(10000), 0u);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
  KeySecurity security = ReadKeySecurity(key);
  RegCloseKey(key);
  ASSERT_FALSE(security.Descriptor.empty());
  const std::string sddl = Utf8(security.Sddl);

  const ACCESS_MASK users = AllowedFor(security.Descriptor.data(), WinBuiltinUsersSid);
  EXPECT_EQ(users & (KEY_QUERY_VALUE | KEY_SET_VALUE), static_cast<ACCESS_MASK>(KEY_QUERY_VALUE | KEY_SET_VALUE))
      << sddl;
  EXPECT_EQ(users & (WRITE_DAC | WRITE_OWNER | DELETE), 0u) << sddl;
  EXPECT_EQ(AllowedFor(security.Descriptor.data(), WinLocalSystemSid) & KEY_ALL_ACCESS,
            static_cast<ACCESS_MASK>(KEY_ALL_ACCESS))
      << sddl;
  EXPECT_EQ(AllowedFor(security.Descriptor.data(), WinBuiltinAdministratorsSid) & KEY_ALL_ACCESS,
            static_cast<ACCESS_MASK>(KEY_ALL_ACCESS))
      << sddl;

  // Only the 32-bit view has it.
  HKEY native = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_64KEY, &native),
            ERROR_FILE_NOT_FOUND);
  if (native) RegCloseKey(native);
}

TEST_F(Opener, GrantKeepsTheStoredSettings) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD stored = 0x27;
  RegSetValueExW(key, L"ButtonSetup", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored), sizeof(stored));
  RegCloseKey(key);

  // Twice, as a reinstall does.
  for (int run = 0; run < 2; ++run) {
    LaunchedProcess opener = RunOpener(L"/grant-settings-access");
    ASSERT_EQ(opener.WaitExit(10000), 0u) << "run " << run;
  }
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof(value);
  EXPECT_EQ(RegQueryValueExW(key, L"ButtonSetup", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(value, stored);
}

TEST_F(Opener, StopEndsEveryCopyOfTheUtility) {
  LaunchedProcess first = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(first.Pid()), nullptr);
  // A second copy fails to start and stays, with its own main window, until the user ends it.
  LaunchedProcess second = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(second.Pid()), nullptr);

  LaunchedProcess opener = RunOpener(L"/stop-utility");
  EXPECT_EQ(opener.WaitExit(20000), 0u);
  // Both ended by themselves on the polite request (a forced end leaves exit value 1).
  EXPECT_EQ(first.WaitExit(0), 0u);
  EXPECT_EQ(second.WaitExit(0), 0u);
  EXPECT_EQ(FindWindowW(MAIN_WINDOW_CLASS, nullptr), nullptr);

  // Nothing left to stop is no failure, and shows nothing.
  LaunchedProcess idle = RunOpener(L"-Stop-Utility");
  EXPECT_EQ(idle.WaitExit(5000), 0u);
}

// The support report. Its JSON is read back by an independent parser where there is one: under
// Wine, python3 on the Unix side, which writes what it found to a file.
constexpr char kReportReader[] =
    "import json, os, sys\n"
    "try:\n"
    "    r = json.load(open(sys.argv[1], encoding='utf-8'))\n"
    "    c = r['controller']\n"
    "    out = '%s|%s|%s|%s|%s' % (c['connected'], c['path'], c['connects'],\n"
    "                             ','.join(x['answer'] for x in r['copies']), r['settings']['ButtonSetup'])\n"
    "except Exception as e:\n"
    "    out = 'invalid: %r' % e\n"
    "open(sys.argv[2] + '.part', 'w').write(out + '\\n')\n"
    "os.replace(sys.argv[2] + '.part', sys.argv[2])\n";

class Diagnose : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"ostinel-diagnose-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    report = folder + L"report 1.json";  // a blank in the name: the switch takes a quoted file
    DeleteFileW(report.c_str());
  }
  void TearDown() override {
    ProgramTest::TearDown();
    sim.reset();
    for (const wchar_t* name : {L"report 1.json", L"reader.py", L"parsed.txt", L"stdout.json"}) {
      DeleteFileW((folder + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
  }

  void StartController() {
    static int serial = 0;
    SimOptions options;
    options.PipeName = L"ostinel-diagnose-" + std::to_wstring(++serial);
    std::uint32_t error = 0;
    sim = StartSim(options, &error);
    ASSERT_TRUE(sim) << "simulated controller did not start: " << error;
  }

  DWORD RunReport(const std::wstring& arguments) {
    LaunchedProcess opener = RunOpener(arguments);
    return opener.WaitExit(30000);
  }

  static std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // What python3 parsed from the report: "connected|path|connects|answers|ButtonSetup"; empty when
  // there is no python3 (not under Wine).
  std::string ParsedByPython(const std::wstring& file) {
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName || GetFileAttributesW(L"Z:\\usr\\bin\\python3") == INVALID_FILE_ATTRIBUTES) return "";
    const std::wstring script = folder + L"reader.py", parsed = folder + L"parsed.txt";
    DeleteFileW(parsed.c_str());
    std::ofstream(script.c_str(), std::ios::binary) << kReportReader;
    auto unix = [&](const std::wstring& path) {
      char* name = unixName(path.c_str());
      std::string text = name ? name : "";
      if (name) HeapFree(GetProcessHeap(), 0, name);
      return std::wstring(text.begin(), text.end());
    };
    std::wstring commandLine =
        L"/usr/bin/env python3 \"" + unix(script) + L"\" \"" + unix(file) + L"\" \"" + unix(parsed) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(L"Z:\\usr\\bin\\env", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi));
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    std::string result;
    EXPECT_TRUE(WaitUntil([&] { return !(result = ReadFile(parsed)).empty(); }, 30000)) << "python3 gave nothing";
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
    return result;
  }

  std::wstring folder, report;
  UniqueSim sim;
};

TEST_F(Diagnose, ARunningCopyThatHoldsTheControllerExitsZeroWithItsPath) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  LaunchedProcess app = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(app.Pid()), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim); }, 15000));
  // A second copy fails to start and stays until the user ends it: listed, but not the one that answers.
  LaunchedProcess second = LaunchOstinel();
  ASSERT_NE(WaitForStatusWindow(second.Pid()), nullptr);

  ASSERT_EQ(RunReport(L"/diagnose \"" + report + L"\""), static_cast<DWORD>(DIAGNOSE_EXIT_CONNECTED));
  const std::string text = ReadFile(report);
  const std::string path = Utf8(SimDevicePath(*sim));
  EXPECT_NE(text.find("\"connected\": true"), std::string::npos) << text;
  EXPECT_NE(text.find("\"connects\": 1,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"reportedBy\": " + std::to_string(app.Pid())), std::string::npos) << text;
  EXPECT_NE(text.find("\"present\": true"), std::string::npos) << text;
  const std::string parsed = ParsedByPython(report);
  if (!parsed.empty()) {
    // Both copies, in process order, and the settings the utility stored at its start.
    const std::string answers = app.Pid() < second.Pid() ? "answered,second copy" : "second copy,answered";
    EXPECT_EQ(parsed, "True|" + path + "|1|" + answers + "|15");
  }

  // The section is there to be read, by this session's name and by the session-qualified one that
  // reaches other sessions; nobody but the utility may write it.
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  for (const std::wstring& name : {std::wstring(L"Local\\OstinelSupport"),
                                   L"Session\\" + std::to_wstring(session) + L"\\OstinelSupport"}) {
    HANDLE readable = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
    EXPECT_NE(readable, nullptr) << Utf8(name) << " " << GetLastError();
    if (readable) CloseHandle(readable);
    HANDLE writable = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name.c_str());
    EXPECT_EQ(writable, nullptr) << Utf8(name);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << Utf8(name);
    if (writable) CloseHandle(writable);
  }
  // The displays listed are this session's, the console's.
  EXPECT_NE(text.find("\"session\": " + std::to_string(session) + ",\n      \"console\": true\n    }"),
            std::string::npos)
      << text;

  // Unplugged: the same copy no longer holds it, and says it lost it once.
  SimUnplug(*sim);
  ASSERT_TRUE(WaitUntil([&] {
    return RunReport(L"/diagnose \"" + report + L"\"") == static_cast<DWORD>(DIAGNOSE_EXIT_NOT_CONNECTED);
  }, 20000));
  const std::string after = ReadFile(report);
  EXPECT_NE(after.find("\"losses\": 1,"), std::string::npos) << after;
  EXPECT_NE(after.find("\"lastError\": 109,"), std::string::npos) << after;  // the pipe's end: the read failed
  EXPECT_NE(after.find("\"present\": false"), std::string::npos) << after;
}

// Anyone may create the section's name before the utility and claim a connected controller in it.
// The utility says once that the name is taken, and the report believes neither that section nor a
// program named like the utility elsewhere: listed as not trusted, and the exit value stays 1 while
// the real copy holds the controller. (Under Wine every process has the one user, so a stranger's
// section naming the real copy cannot be told by its owner here; the host tests cover that.)
TEST_F(Diagnose, AStrangersSectionIsNotTrustedAndTheNameTakenIsSaidOnce) {
  ASSERT_NO_FATAL_FAILURE(StartController());
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  const UniqueHandle stranger(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                                 L"Local\\OstinelSupport"));
  ASSERT_TRUE(stranger) << GetLastError();
  auto* fake = static_cast<SupportSection*>(MapViewOfFile(stranger.get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(fake, nullptr);
  InitSupportSection(*fake, GetCurrentProcessId(), session, 134411850050000000ull, {1, 1, 0, 0}, true);
  NoteSupportNotice(*fake, DeviceNotice::Connected, 0, L"\\\\?\\fake");

  const TraceFile trace;
  ASSERT_TRUE(LaunchTraced(L"Ostinel.exe", trace.Path));
  LaunchedProcess app = AttachToStartedOstinel();
  ASSERT_TRUE(app.Running());
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim); }, 15000));
  const HWND status = WaitForStatusWindow(app.Pid());
  ASSERT_NE(status, nullptr);
  const std::wstring taken =
      L"Another program holds the name of Ostinel's support section: the support report cannot read this copy.\r\n";
  std::wstring log;
  ASSERT_TRUE(WaitUntil([&] { return (log = ControlText(status, IDC_STATUS_LOG)).find(L"Connect OK!") != std::wstring::npos; },
                        10000))
      << Utf8(log);
  const std::size_t first = log.find(taken);
  EXPECT_NE(first, std::wstring::npos) << Utf8(log);
  EXPECT_EQ(log.find(taken, first + 1), std::wstring::npos) << Utf8(log);
  const auto isTaken = [](const ReportedEvent& e) { return e.Id == 4; };
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 10; }, 8000, &events));
  EXPECT_EQ(std::count_if(events.begin(), events.end(), isTaken), 1);
  const auto event = std::find_if(events.begin(), events.end(), isTaken);
  ASSERT_NE(event, events.end());
  EXPECT_EQ(event->Type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(event->Strings, std::vector<std::wstring>{L"\\Sessions\\" + std::to_wstring(session) +
                                                      L"\\BaseNamedObjects\\OstinelSupport"});
  EXPECT_EQ(events.front().Id, 1u);  // started comes first

  // The section names this test's program: not the utility.
  ASSERT_EQ(RunReport(L"/diagnose \"" + report + L"\""), static_cast<DWORD>(DIAGNOSE_EXIT_NOT_CONNECTED));
  std::string text = ReadFile(report);
  EXPECT_NE(text.find("\"pid\": " + std::to_string(GetCurrentProcessId()) +
                      ",\n      \"session\": " + std::to_string(session) +
                      ",\n      \"console\": true,\n      \"answer\": \"not trusted\""),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\"pid\": " + std::to_string(app.Pid()) + ",\n      \"session\": " + std::to_string(session) +
                      ",\n      \"console\": true,\n      \"answer\": \"no answer\""),
            std::string::npos)
      << text;
  std::string parsed = ParsedByPython(report);
  if (!parsed.empty()) {
    const std::string answers = GetCurrentProcessId() < app.Pid() ? "not trusted,no answer" : "no answer,not trusted";
    EXPECT_EQ(parsed, "False|None|None|" + answers + "|15");
  }

  // A program named like the utility but elsewhere (here a second start of a copy of it, which
  // waits for its Exit) that the section names: not trusted either.
  const std::wstring elsewhere = folder + L"Ostinel.exe";
  ASSERT_TRUE(CopyFileW(SiblingProgram(L"Ostinel.exe").c_str(), elsewhere.c_str(), FALSE)) << GetLastError();
  struct Remove {
    const std::wstring& Path;
    ~Remove() { DeleteFileW(Path.c_str()); }
  } removeCopy{elsewhere};
  LaunchedProcess impostor = Launch(elsewhere);
  ASSERT_NE(WaitForStatusWindow(impostor.Pid()), nullptr);
  fake->ProcessId.store(impostor.Pid());
  ASSERT_EQ(RunReport(L"/diagnose \"" + report + L"\""), static_cast<DWORD>(DIAGNOSE_EXIT_NOT_CONNECTED));
  text = ReadFile(report);
  EXPECT_EQ(text.find("\"pid\": " + std::to_string(GetCurrentProcessId())), std::string::npos) << text;
  parsed = ParsedByPython(report);
  if (!parsed.empty()) {
    const std::string answers = impostor.Pid() < app.Pid() ? "not trusted,no answer" : "no answer,not trusted";
    EXPECT_EQ(parsed, "False|None|None|" + answers + "|15");
  } else {
    EXPECT_NE(text.find("\"pid\": " + std::to_string(impostor.Pid()) + ",\n      \"session\": " +
                        std::to_string(session) + ",\n      \"console\": true,\n      \"answer\": \"not trusted\""),
              std::string::npos)
        << text;
  }
  impostor.Terminate();
  impostor.WaitExit(5000);
  UnmapViewOfFile(fake);
}

// The installers' ways of starting the utility at logon: the Run value (64-bit view) and the task.
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
std::wstring TaskFile() {
  wchar_t system[MAX_PATH] = L"";
  GetSystemDirectoryW(system, MAX_PATH);
  return std::wstring(system) + L"\\Tasks\\Ostinel";
}
void ForgetAutostart() {
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunKey, L"Ostinel");
  DeleteFileW(TaskFile().c_str());
}

TEST_F(Diagnose, WithoutARunningCopyExitsOneAndSaysSo) {
  ASSERT_TRUE(StoreSetting(L"WaitTime", 150));
  ASSERT_TRUE(SetPolicy(L"HoldTime", 250));
  struct AutostartCleanup {
    ~AutostartCleanup() { ForgetAutostart(); }
  } cleanup;
  const std::wstring command = L"\"C:\\Program Files\\Ostinel\\Ostinel.exe\"";
  HKEY run = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                            &run, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(run, L"Ostinel", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(run);
  CreateDirectoryW(TaskFile().substr(0, TaskFile().find_last_of(L'\\')).c_str(), nullptr);
  std::ofstream(TaskFile().c_str()) << "<Task/>";

  ASSERT_EQ(RunReport(L"-diagnose \"" + report + L"\""), static_cast<DWORD>(DIAGNOSE_EXIT_NOT_CONNECTED));
  const std::string text = ReadFile(report);
  EXPECT_NE(text.find("\"copies\": []"), std::string::npos) << text;
  EXPECT_NE(text.find("\"ButtonSetup\": null,\n    \"WaitTime\": 150,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"usersMayChange\": false"), std::string::npos) << text;  // a machine key's usual list
  // The policy over the stored hold time, and the missing word's default, in force.
  EXPECT_NE(text.find("\"HoldTime\": 250,\n      \"LeftClickSound\": null,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"inForce\": {\n      \"ButtonSetup\": 15,\n      \"WaitTime\": 250\n    }"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\"runValue\": \"\\\"C:\\\\Program Files\\\\Ostinel\\\\Ostinel.exe\\\"\",\n    \"task\": true"),
            std::string::npos)
      << text;
  ForgetAutostart();
  const std::string parsed = ParsedByPython(report);
  if (!parsed.empty()) {
    EXPECT_EQ(parsed, "False|None|None||None");
  }
  // The installers' grant shows.
  ASSERT_EQ(RunOpener(L"/grant-settings-access").WaitExit(10000), 0u);
  ASSERT_EQ(RunReport(L"/diagnose \"" + report + L"\""), static_cast<DWORD>(DIAGNOSE_EXIT_NOT_CONNECTED));
  const std::string granted = ReadFile(report);
  EXPECT_NE(granted.find("\"usersMayChange\": true"), std::string::npos) << granted;
  EXPECT_NE(granted.find("\"runValue\": null,\n    \"task\": false"), std::string::npos) << granted;

  // To standard output when no file is named: a redirected handle takes the same report.
  const std::wstring out = folder + L"stdout.json";
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE file = CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = file;
  std::wstring commandLine = L"\"" + SiblingProgram(L"OstinelSettings.exe") + L"\" /diagnose";
  LaunchedProcess opener;
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                             &opener.info));
  CloseHandle(file);
  EXPECT_EQ(opener.WaitExit(30000), static_cast<DWORD>(DIAGNOSE_EXIT_NOT_CONNECTED));
  const std::string printed = ReadFile(out);
  EXPECT_EQ(printed.substr(0, 2), "{\n") << printed;
  const std::string parsedOut = ParsedByPython(out);
  if (!parsedOut.empty()) {
    EXPECT_EQ(parsedOut, "False|None|None||None");
  }
}

TEST_F(Diagnose, ABadArgumentExitsTwoAndWritesNothing) {
  for (const std::wstring& arguments : {L"/diagnose \"" + report + L"\" extra", L"/diagnose \"" + report,
                                        std::wstring(L"/diagnose /stop-utility"), std::wstring(L"/diagnose \"\"")}) {
    EXPECT_EQ(RunReport(arguments), static_cast<DWORD>(DIAGNOSE_EXIT_USAGE)) << Utf8(arguments);
  }
  EXPECT_EQ(GetFileAttributesW(report.c_str()), INVALID_FILE_ATTRIBUTES);
  // A file that cannot be made is no report.
  EXPECT_EQ(RunReport(L"/diagnose \"" + folder + L"no such folder\\r.json\""),
            static_cast<DWORD>(DIAGNOSE_EXIT_NOT_WRITTEN));
}

// The message speaks the system locale's language, by the utility's own rule.
struct LocaleCase {
  const char* Name;
  const wchar_t* Locale;
  std::int32_t Mode;
};

void PrintTo(const LocaleCase& c, std::ostream* out) { *out << c.Name; }

class OpenerLocale : public ::testing::TestWithParam<LocaleCase> {
 protected:
  void SetUp() override {
    if (GetFileAttributesW(kUnixEnv) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "needs Wine: the locale is set per process through LC_ALL";
    }
    EndAllOstinel();
  }
};

TEST_P(OpenerLocale, NotRunningMessageSpeaksTheLocalesLanguage) {
  const LocaleCase& c = GetParam();
  const OpenerMessage expected = NotRunningMessage(c.Mode);
  // The opener is found by its message box.
  ASSERT_TRUE(LaunchInLocale(c.Locale, L"OstinelSettings.exe"));

  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = FindWindowW(kDialogClass, expected.Caption)) != nullptr; }, 15000))
      << "no message box captioned " << Utf8(expected.Caption);
  DWORD pid = 0;
  GetWindowThreadProcessId(box, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(box) != FALSE; }, 5000));
  EXPECT_EQ(ControlText(box, kMessageBoxText), expected.Text) << Utf8(ControlText(box, kMessageBoxText));

  PressOk(box);
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process, 5000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  EXPECT_EQ(code, static_cast<DWORD>(OPENER_EXIT_NOT_RUNNING));
  if (code == STILL_ACTIVE) TerminateProcess(process, 97);
  CloseHandle(process);
}

INSTANTIATE_TEST_SUITE_P(OpenerLocales, OpenerLocale,
                         ::testing::Values(LocaleCase{"English", L"en_US.UTF-8", LANGUAGE_ENGLISH},
                                           LocaleCase{"Simplified", L"zh_CN.UTF-8", LANGUAGE_SIMPLIFIED_CHINESE},
                                           LocaleCase{"Traditional", L"zh_TW.UTF-8", LANGUAGE_TRADITIONAL_CHINESE},
                                           LocaleCase{"OtherChinese", L"zh_HK.UTF-8", LANGUAGE_ENGLISH}),
                         [](const ::testing::TestParamInfo<LocaleCase>& param) {
                           return std::string(param.param.Name);
                         });

}  // namespace
