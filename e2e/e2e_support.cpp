#include "e2e/e2e_support.h"
#include "core/settings_table.h"

#include <sstream>
#include <utility>

#include "core/policy_names.h"

LaunchedProcess::LaunchedProcess(LaunchedProcess&& other) noexcept : info(std::exchange(other.info, {})) {}

LaunchedProcess& LaunchedProcess::operator=(LaunchedProcess&& other) noexcept {
  if (this != &other) {
    Close();
    info = std::exchange(other.info, {});
  }
  return *this;
}

LaunchedProcess::~LaunchedProcess() { Close(); }

void LaunchedProcess::Close() {
  Terminate();
  if (info.hThread) CloseHandle(info.hThread);
  if (info.hProcess) CloseHandle(info.hProcess);
  info = {};
}

bool LaunchedProcess::Running() const {
  return info.hProcess && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD LaunchedProcess::WaitExit(DWORD timeoutMs) const {
  if (!info.hProcess) return STILL_ACTIVE;
  if (WaitForSingleObject(info.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(info.hProcess, &code);
  return code;
}

void LaunchedProcess::Terminate() {
  if (Running()) {
    TerminateProcess(info.hProcess, 99);
    WaitForSingleObject(info.hProcess, 5000);
  }
}

std::wstring SiblingProgram(const wchar_t* fileName) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  return dir + fileName;
}

LaunchedProcess Launch(const std::wstring& path, const std::vector<std::wstring>& extraEnvironment,
                       const std::wstring& arguments) {
  // Environment block: ours plus the additions.
  std::wstring block;
  if (!extraEnvironment.empty()) {
    wchar_t* env = GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) block.append(p).push_back(L'\0');
    FreeEnvironmentStringsW(env);
    for (const auto& e : extraEnvironment) block.append(e).push_back(L'\0');
    block.push_back(L'\0');
  }
  std::wstring commandLine = L"\"" + path + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  LaunchedProcess p;
  CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                 block.empty() ? nullptr : block.data(), nullptr, &si, &p.info);
  return p;
}

LaunchedProcess LaunchOstinel(const std::vector<std::wstring>& extraEnvironment) {
  return Launch(SiblingProgram(L"Ostinel.exe"), extraEnvironment);
}

bool WaitUntil(const std::function<bool()>& check, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (check()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
}

namespace {
struct FindRequest {
  DWORD pid;
  const wchar_t* className;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != request->pid) return TRUE;
  wchar_t text[256];
  if (request->className) {
    GetClassNameW(window, text, 256);
    if (wcscmp(text, request->className) != 0) return TRUE;
  }
  if (request->title) {
    GetWindowTextW(window, text, 256);
    if (wcscmp(text, request->title) != 0) return TRUE;
  }
  request->found = window;
  return FALSE;
}
}  // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title) {
  FindRequest request{pid, className, title, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&request));
  return request.found;
}

HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* title, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindProcessWindow(pid, className, title)) != nullptr; }, timeoutMs);
  return found;
}

std::wstring WindowTextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &length)) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL, 5000,
                      &copied);
  text.resize(copied);
  return text;
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control ? WindowTextOf(control) : L"<no control>";
}

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result);
  return static_cast<LRESULT>(result);
}

bool OpenSettingsDialog(HWND mainWindow, HWND dialog) {
  if (!PostMessageW(mainWindow, WM_OPEN_SETTINGS, 0, 0)) return false;
  if (!WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000)) return false;
  SendWithTimeout(mainWindow, WM_NULL);
  SendWithTimeout(mainWindow, WM_NULL);
  return true;
}

HWND WaitForStatusWindow(DWORD pid, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = FindProcessWindow(pid, kDialogClass, kStatusTitle);
        return found && IsWindowVisible(found);
      },
      timeoutMs);
  return found;
}

void EndAllOstinel() {
  for (int i = 0; i < 10; ++i) {
    HWND main = FindWindowW(MAIN_WINDOW_CLASS, nullptr);
    if (!main) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return;
    TerminateProcess(process, 98);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    WaitUntil([&] { return FindWindowW(MAIN_WINDOW_CLASS, nullptr) != main; }, 2000);
  }
}

void DeleteSettingsKey() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, view, 0);
  }
}

namespace {
constexpr const wchar_t* kSettingsKey = SETTINGS_KEY;
constexpr wchar_t kTestBuildKey[] = L"Software\\Ostinel test";

bool IsPopup(HWND window, bool layered, int side) {
  RECT r{};
  GetWindowRect(window, &r);
  return ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0) == layered && r.right - r.left == side &&
         r.bottom - r.top == side;
}
}  // namespace

std::optional<DWORD> ReadStoredSetting(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0, data = 0, size = sizeof(data);
  const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(data)) return std::nullopt;
  return data;
}

bool StoreSetting(const wchar_t* name, DWORD value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool ok =
      RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool SetPolicyRaw(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool ok = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool SetPolicy(const wchar_t* name, DWORD value) {
  return SetPolicyRaw(name, REG_DWORD, {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                        static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)});
}

void DeletePolicyKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, KEY_WOW64_64KEY, 0); }

bool SetConsoleSessionOfTestBuild(DWORD session) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kTestBuildKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool ok = RegSetValueExW(key, L"ConsoleSession", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&session),
                                 sizeof(session)) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

void ForgetConsoleSessionOfTestBuild() { RegDeleteTreeW(HKEY_CURRENT_USER, kTestBuildKey); }

HWND FindProgramDialog(DWORD pid, const std::function<bool(HWND)>& test) {
  struct Search {
    DWORD Pid;
    const std::function<bool(HWND)>* Test;
    HWND Found;
  } search{pid, &test, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (owner != s->Pid || wcscmp(className, kDialogClass) != 0 || !(*s->Test)(window)) return TRUE;
        s->Found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND FindSettingsDialog(DWORD pid) {
  return FindProgramDialog(pid, [](HWND w) { return GetDlgItem(w, IDC_WAIT_SLIDER) != nullptr; });
}

HWND FindIndicatorWindow(DWORD pid) {
  return FindProgramDialog(pid, [](HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r.right - r.left >= 127 && IsPopup(w, true, r.right - r.left);
  });
}

HWND FindFunctionButton(DWORD pid, int side) {
  return FindProgramDialog(pid, [side](HWND w) { return IsPopup(w, false, side); });
}

void SendPointerMove(int x, int y) {
  // Under Wine SendInput leaves the X server's pointer where it was, and a cursor read falls back
  // to that pointer 100 ms after the last input; a real move moves the one pointer.
  SetCursorPos(x, y);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  }
  return out;
}

bool LaunchInLocale(const wchar_t* locale, const wchar_t* fileName) {
  // A Windows child inherits its parent's Unix environment, so the locale has to be set on the
  // Unix side of the start.
  std::wstring commandLine =
      std::wstring(L"/usr/bin/env LC_ALL=") + locale + L" /usr/bin/wine \"" + SiblingProgram(fileName) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\usr\\bin\\env", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  return true;
}

bool LaunchTraced(const wchar_t* fileName, const std::wstring& traceFile,
                  const std::vector<std::wstring>& extraEnvironment, const std::wstring& arguments) {
  // Wine writes debug output to the process's Linux standard error, which a Windows start cannot
  // redirect; a shell can. The event IDs come on the fixme:advapi line before the strings, the
  // restart registration's calls on fixme:process lines.
  std::wstring script = L"exec /usr/bin/env WINEDEBUG=+eventlog,fixme+advapi,fixme+process";
  for (const std::wstring& e : extraEnvironment) script += L" '" + e + L"'";
  script += L" /usr/bin/wine '" + SiblingProgram(fileName) + L"' " + arguments + L" </dev/null >/dev/null 2>'" +
            traceFile + L"'";
  std::wstring commandLine = L"/bin/sh -c \"" + script + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  if (pi.hThread) CloseHandle(pi.hThread);
  if (pi.hProcess) CloseHandle(pi.hProcess);
  return true;
}

TraceFile::TraceFile() {
  static int serial = 0;
  Path = L"/tmp/ostinel-e2e-trace-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial) +
         L".txt";
}

TraceFile::~TraceFile() { DeleteFileW((L"Z:" + Path).c_str()); }

LaunchedProcess AttachToStartedOstinel(DWORD timeoutMs) {
  LaunchedProcess p;
  HWND main = nullptr;
  if (!WaitUntil([&] { return (main = FindWindowW(MAIN_WINDOW_CLASS, nullptr)) != nullptr; }, timeoutMs)) return p;
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  p.info.hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (p.info.hProcess) p.info.dwProcessId = pid;
  return p;
}

namespace {

// The text of a trace line's L"..." as Wine escapes it (backslash escapes; \x and \u for the rest).
std::wstring Unescape(const std::string& quoted) {
  std::wstring text;
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    char c = quoted[i];
    if (c != '\\' || i + 1 >= quoted.size()) {
      text += static_cast<wchar_t>(static_cast<unsigned char>(c));
      continue;
    }
    const char e = quoted[++i];
    if (e == 'n') text += L'\n';
    else if (e == 'r') text += L'\r';
    else if (e == 't') text += L'\t';
    else if (e == 'x' || e == 'u') {
      const std::size_t digits = e == 'x' ? 2 : 4;
      text += static_cast<wchar_t>(std::stoul(quoted.substr(i + 1, digits), nullptr, 16));
      i += digits;
    } else text += static_cast<wchar_t>(e);
  }
  return text;
}

// What the trace file holds so far: the Linux file through Wine's drive Z:, shared, as the
// program is still writing it.
std::string TraceContent(const std::wstring& traceFile) {
  std::string content;
  HANDLE file = CreateFileW((L"Z:" + traceFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

}  // namespace

std::vector<std::string> RestartCalls(const std::wstring& traceFile) {
  std::vector<std::string> calls;
  std::istringstream in(TraceContent(traceFile));
  std::string line;
  while (std::getline(in, line)) {
    // fixme:process:RegisterApplicationRestart (L"/restarted",12), fixme:process:UnregisterApplicationRestart : stub
    const std::size_t at = line.find(":process:");
    if (at == std::string::npos || line.find("ApplicationRestart", at) == std::string::npos) continue;
    std::string call = line.substr(at + 9);
    const std::size_t name = call.find(' ');
    if (name != std::string::npos) {
      call = call.compare(name, 2, " (") == 0 ? call.substr(0, name) + call.substr(name + 1) : call.substr(0, name);
    }
    calls.push_back(call);
  }
  return calls;
}

std::vector<ReportedEvent> ReportedEvents(const std::wstring& traceFile) {
  std::vector<ReportedEvent> events;
  std::istringstream in(TraceContent(traceFile));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t call = line.find(":advapi:ReportEventW (");
    if (call != std::string::npos) {
      // (handle,0xTYPE,0xCATEGORY,0xID,...
      std::istringstream fields(line.substr(line.find(',', call) + 1));
      std::string type, category, id;
      std::getline(fields, type, ',');
      std::getline(fields, category, ',');
      std::getline(fields, id, ',');
      ReportedEvent event;
      event.Type = static_cast<WORD>(std::stoul(type, nullptr, 16));
      event.Id = static_cast<DWORD>(std::stoul(id, nullptr, 16));
      events.push_back(event);
      continue;
    }
    const std::size_t text = line.find(":eventlog:ReportEventW L\"");
    if (text != std::string::npos && !events.empty() && line.size() >= text + 26 && line.back() == '"') {
      const std::size_t start = text + 25;
      events.back().Strings.push_back(Unescape(line.substr(start, line.size() - start - 1)));
    }
  }
  return events;
}

bool WaitForReportedEvent(const std::wstring& traceFile, const std::function<bool(const ReportedEvent&)>& test,
                          DWORD timeoutMs, std::vector<ReportedEvent>* events) {
  std::vector<ReportedEvent> seen;
  const bool found = WaitUntil(
      [&] {
        seen = ReportedEvents(traceFile);
        for (const ReportedEvent& e : seen)
          if (test(e)) return true;
        return false;
      },
      timeoutMs);
  if (events) *events = seen;
  return found;
}

namespace {
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kFontsKey[] = L"Software\\Fonts";

std::optional<DWORD> ReadLogPixels(HKEY root, const wchar_t* path) {
  DWORD value = 0, size = sizeof(value);
  if (RegGetValueW(root, path, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void WriteLogPixels(HKEY root, const wchar_t* path, const std::optional<DWORD>& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) return;
  if (value) {
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value), sizeof(DWORD));
  } else {
    RegDeleteValueW(key, L"LogPixels");
  }
  RegCloseKey(key);
}
}  // namespace

PrefixAtDpi::PrefixAtDpi(DWORD dpi)
    : desktop_(ReadLogPixels(HKEY_CURRENT_USER, kDesktopKey)), fonts_(ReadLogPixels(HKEY_CURRENT_CONFIG, kFontsKey)) {
  WriteLogPixels(HKEY_CURRENT_USER, kDesktopKey, dpi);
  WriteLogPixels(HKEY_CURRENT_CONFIG, kFontsKey, dpi);
}

PrefixAtDpi::~PrefixAtDpi() {
  WriteLogPixels(HKEY_CURRENT_USER, kDesktopKey, desktop_);
  WriteLogPixels(HKEY_CURRENT_CONFIG, kFontsKey, fonts_);
}
