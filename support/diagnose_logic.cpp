#include "support/diagnose_logic.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <type_traits>

#include "core/app_state.h"
#include "core/display_scale.h"

namespace {

constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericAll = 0x10000000;

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

constexpr bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Writes pretty-printed JSON: each member on a line of its own.
struct JsonWriter {
  std::string Text;
  std::array<bool, 8> Empty{};  // per open level: nothing written in it yet
  std::size_t Depth = 0;
};

void Indent(JsonWriter& w) {
  w.Text += '\n';
  w.Text.append(2 * w.Depth, ' ');
}

// Starts an item of the open object (key) or array (no key).
void Item(JsonWriter& w, const char* key) {
  if (w.Depth > 0) {
    if (!w.Empty[w.Depth - 1]) w.Text += ',';
    w.Empty[w.Depth - 1] = false;
    Indent(w);
  }
  if (key) {
    w.Text += '"';
    w.Text += key;
    w.Text += "\": ";
  }
}

void Open(JsonWriter& w, const char* key, char bracket) {
  Item(w, key);
  w.Text += bracket;
  w.Empty[w.Depth++] = true;
}

void Close(JsonWriter& w, char bracket) {
  --w.Depth;
  if (!w.Empty[w.Depth]) Indent(w);
  w.Text += bracket;
}

void OpenObject(JsonWriter& w, const char* key = nullptr) { Open(w, key, '{'); }
void CloseObject(JsonWriter& w) { Close(w, '}'); }
void OpenArray(JsonWriter& w, const char* key) { Open(w, key, '['); }
void CloseArray(JsonWriter& w) { Close(w, ']'); }

void Null(JsonWriter& w, const char* key) {
  Item(w, key);
  w.Text += "null";
}
void Bool(JsonWriter& w, const char* key, bool value) {
  Item(w, key);
  w.Text += value ? "true" : "false";
}
void Number(JsonWriter& w, const char* key, std::int64_t value) {
  Item(w, key);
  w.Text += std::to_string(value);
}
void Text(JsonWriter& w, const char* key, const std::wstring& value) {
  Item(w, key);
  w.Text += JsonString(value);
}
void Ascii(JsonWriter& w, const char* key, const char* value) {
  Item(w, key);
  w.Text += '"';
  w.Text += value;
  w.Text += '"';
}
// The table's value names are ASCII.
std::string AsciiName(const wchar_t* name) {
  std::string ascii;
  for (const wchar_t* c = name; *c; ++c) ascii += static_cast<char>(*c);
  return ascii;
}
template <typename T>
void Maybe(JsonWriter& w, const char* key, const std::optional<T>& value) {
  if (!value) {
    Null(w, key);
  } else if constexpr (std::is_same_v<T, bool>) {
    Bool(w, key, *value);
  } else if constexpr (std::is_same_v<T, std::wstring>) {
    Text(w, key, *value);
  } else {
    Number(w, key, static_cast<std::int64_t>(*value));
  }
}

std::wstring SnapshotPath(const SupportSnapshot& state) {
  std::wstring path;
  for (std::uint32_t i = 0; i < state.PathLength && i < state.Path.size(); ++i) {
    path += static_cast<wchar_t>(state.Path[i]);
  }
  return path;
}

std::string VersionText(const std::array<std::uint16_t, 4>& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
         std::to_string(version[3]);
}

const char* AnswerName(CopyAnswer answer) {
  switch (answer) {
    case CopyAnswer::Answered: return "answered";
    case CopyAnswer::SecondCopy: return "second copy";
    case CopyAnswer::NotTrusted: return "not trusted";
    case CopyAnswer::NoAnswer: break;
  }
  return "no answer";
}

std::string Hex(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
  return text;
}

}  // namespace

std::wstring FileTimeIso(std::uint64_t fileTime) {
  const std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000u);
  std::int64_t days = seconds / 86400;
  const std::int64_t rest = seconds % 86400;
  // Days to a civil date, counted in 400-year eras from 0000-03-01 (years begin in March).
  days += 584694;  // 1601-01-01 is day 584694 after 0000-03-01
  const std::int64_t era = days / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year),
                static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  std::wstring wide;
  for (const char* c = text.data(); *c; ++c) wide += static_cast<wchar_t>(*c);
  return wide;
}

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t code = static_cast<std::uint32_t>(text[i]);
    if (IsHighSurrogate(code) && i + 1 < text.size() && IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code) || code > 0x10FFFF) {
      code = 0xFFFD;
    }
    switch (code) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (code < 0x20) {
          out += "\\u00";
          out += "0123456789abcdef"[code >> 4];
          out += "0123456789abcdef"[code & 0xF];
        } else {
          AppendUtf8(out, code);
        }
    }
  }
  out += '"';
  return out;
}

ProcessFacts CombineProcessFacts(std::uint32_t processId, const ProcessFacts& opened,
                                 const std::vector<ListedProcess>& list) {
  ProcessFacts facts = opened;
  for (const ListedProcess& listed : list) {
    if (listed.ProcessId != processId) continue;
    facts.Session = listed.Session;
    if (!listed.User.empty()) facts.User = listed.User;
    break;
  }
  return facts;
}

std::wstring ImagePathKey(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  // "\\?\UNC\server\share" is "\\server\share"; "\\?\C:" and "\??\C:" are "C:".
  std::wstring root;
  std::size_t at = 0;
  if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    root = L"\\\\";
    at = 8;
  } else if (text.rfind(L"\\\\?\\", 0) == 0 || text.rfind(L"\\??\\", 0) == 0) {
    at = 4;
  } else if (text.rfind(L"\\\\", 0) == 0) {
    root = L"\\\\";
    at = 2;
  }
  std::vector<std::wstring> steps;
  while (at <= text.size()) {
    std::size_t end = text.find(L'\\', at);
    if (end == std::wstring::npos) end = text.size();
    std::wstring step = text.substr(at, end - at);
    at = end + 1;
    if (step.empty() || step == L".") continue;
    // The root (a drive, or a server and its share) stays.
    const bool drive = !steps.empty() && steps[0].size() == 2 && steps[0][1] == L':';
    const std::size_t fixed = !root.empty() ? 2 : (drive ? 1 : 0);
    if (step == L"..") {
      if (steps.size() <= fixed) return L"";
      steps.pop_back();
      continue;
    }
    steps.push_back(step);
  }
  std::wstring key = root;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i > 0) key += L'\\';
    key += steps[i];
  }
  return key;
}

bool IsInstalledImage(const std::wstring& image, const std::wstring& installedImage) {
  const std::wstring key = ImagePathKey(image);
  return !key.empty() && key == ImagePathKey(installedImage);
}

bool SectionTrusted(std::uint32_t session, const SupportSnapshot& snapshot, const SectionOrigin& origin,
                    const std::wstring& installedImage) {
  return IsInstalledImage(origin.ProcessImage, installedImage) && origin.ProcessSession == session &&
         snapshot.SessionId == session && !origin.Owner.empty() && origin.Owner == origin.ProcessUser;
}

std::vector<DiagnoseCopy> MergeCopies(const std::vector<RunningCopy>& processes,
                                      const std::vector<SessionSection>& sections,
                                      std::optional<std::uint32_t> consoleSession) {
  auto namedBy = [&](std::uint32_t pid, bool trusted) -> const SessionSection* {
    for (const SessionSection& section : sections) {
      if (section.Trusted == trusted && section.Snapshot.ProcessId == pid) return &section;
    }
    return nullptr;
  };
  std::vector<DiagnoseCopy> copies;
  for (const RunningCopy& process : processes) {
    DiagnoseCopy copy;
    copy.ProcessId = process.ProcessId;
    copy.Session = process.Session;
    if (const SessionSection* own = namedBy(process.ProcessId, true)) {
      copy.Answer = CopyAnswer::Answered;
      copy.State = own->Snapshot;
      if (!copy.Session) copy.Session = own->Session;
    } else if (namedBy(process.ProcessId, false) || process.Installed == false) {
      copy.Answer = CopyAnswer::NotTrusted;
    } else if (process.Session && std::any_of(sections.begin(), sections.end(), [&](const SessionSection& section) {
                 return section.Trusted && section.Session == *process.Session;
               })) {
      copy.Answer = CopyAnswer::SecondCopy;
    }
    copies.push_back(copy);
  }
  // A section's writer that the process list did not show (its process may not be listed to this
  // user) still answered; the process a stranger's section names is listed once, as not trusted.
  for (const SessionSection& section : sections) {
    const bool listed = std::any_of(copies.begin(), copies.end(), [&](const DiagnoseCopy& copy) {
      return copy.ProcessId == section.Snapshot.ProcessId;
    });
    if (listed) continue;
    DiagnoseCopy copy;
    copy.ProcessId = section.Snapshot.ProcessId;
    copy.Session = section.Session;
    copy.Answer = section.Trusted ? CopyAnswer::Answered : CopyAnswer::NotTrusted;
    if (section.Trusted) copy.State = section.Snapshot;
    copies.push_back(copy);
  }
  for (DiagnoseCopy& copy : copies) copy.Console = consoleSession && copy.Session && *copy.Session == *consoleSession;
  std::sort(copies.begin(), copies.end(), [](const DiagnoseCopy& a, const DiagnoseCopy& b) {
    const std::uint64_t aKey = (static_cast<std::uint64_t>(a.Session.value_or(0xFFFFFFFFu)) << 32) | a.ProcessId;
    const std::uint64_t bKey = (static_cast<std::uint64_t>(b.Session.value_or(0xFFFFFFFFu)) << 32) | b.ProcessId;
    return aKey < bKey;
  });
  return copies;
}

int ControllerCopyIndex(const std::vector<DiagnoseCopy>& copies) {
  int console = -1, any = -1;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    const DiagnoseCopy& copy = copies[i];
    if (copy.Answer != CopyAnswer::Answered) continue;
    if (copy.State.Connected) return static_cast<int>(i);
    if (console < 0 && copy.Console) console = static_cast<int>(i);
    if (any < 0) any = static_cast<int>(i);
  }
  return console >= 0 ? console : any;
}

bool UsersMayChangeSettings(bool hasList, const std::vector<AccessEntry>& entries) {
  if (!hasList) return true;
  for (const AccessEntry& entry : entries) {
    if (!entry.OrdinaryUsers || entry.InheritOnly) continue;
    if ((entry.Mask & (kKeySetValue | kGenericWrite | kGenericAll)) == 0) continue;
    return !entry.Deny;
  }
  return false;
}

const char* MachineName(std::uint16_t machine) {
  switch (machine) {
    case 0x8664: return "x64";
    case 0xAA64: return "arm64";
    case 0x014C: return "x86";
    case 0x01C4: return "arm";
    default: return "unknown";
  }
}

const char* SignatureVerdict(std::uint32_t status) {
  switch (status) {
    case 0x00000000u: return "verified";
    case 0x800B0100u: return "not signed";
    case 0x800B0109u: return "untrusted root";
    case 0x800B010Au: return "incomplete chain";
    case 0x800B0101u: return "certificate expired";
    case 0x800B0111u: return "explicitly distrusted";
    case 0x80096010u: return "altered since signing";
    case 0x800B0004u: return "not trusted";
    case 0x800B0001u: return "unknown file type";
    case 0x80070002u: return "file not found";
    default: return "failed";
  }
}

int DiagnoseExitCode(const DiagnoseReport& report) {
  const int index = ControllerCopyIndex(report.Copies);
  return index >= 0 && report.Copies[static_cast<std::size_t>(index)].State.Connected ? DIAGNOSE_EXIT_CONNECTED
                                                                                       : DIAGNOSE_EXIT_NOT_CONNECTED;
}

std::string DiagnoseReportJson(const DiagnoseReport& report) {
  JsonWriter w;
  OpenObject(w);
  Text(w, "version", report.Version);
  Text(w, "generated", report.Generated);
  Text(w, "computer", report.Computer);

  OpenObject(w, "settings");
  for (StoredSetting s : STORED_SETTINGS) Maybe(w, AsciiName(StoredValueOf(s).Name).c_str(), report.Stored[s]);
  Bool(w, "keyPresent", report.SettingsKeyPresent);
  Maybe(w, "usersMayChange", report.UsersMayChange);
  if (report.SettingsKeyPresent) {
    Text(w, "access", report.SettingsAccess);
  } else {
    Null(w, "access");
  }
  // Each policy value: its number when in force, null when not configured, what was read when ignored.
  OpenObject(w, "policy");
  const Policies policies = DecidePolicies(report.Policies);
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    const std::string name = AsciiName(POLICY_VALUES[i].Name);
    const RawPolicyValue& raw = report.Policies[i];
    if (policies.Configured[i]) {
      Number(w, name.c_str(), policies.Value[i]);
    } else if (!raw.Present) {
      Null(w, name.c_str());
    } else if (raw.Type == REGISTRY_TYPE_DWORD && raw.Size == 4) {
      Text(w, name.c_str(), L"ignored: " + std::to_wstring(raw.Data));
    } else {
      Text(w, name.c_str(), L"ignored: registry type " + std::to_wstring(raw.Type) + L", " + std::to_wstring(raw.Size) +
                                L" bytes");
    }
  }
  CloseObject(w);
  // What a running copy puts in force: the stored values (their defaults when missing) with the
  // policies over them; a number as the signed one the program holds.
  SettingValues stored = StoredDefaults();
  for (StoredSetting s : STORED_SETTINGS) stored[s] = report.Stored[s].value_or(stored[s]);
  const SettingValues inForce = MergePolicies(stored, policies);
  OpenObject(w, "inForce");
  for (StoredSetting s : STORED_SETTINGS) {
    Number(w, AsciiName(StoredValueOf(s).Name).c_str(),
           HoldsBits(s) ? std::int64_t{inForce[s]} : std::int64_t{static_cast<std::int32_t>(inForce[s])});
  }
  CloseObject(w);
  CloseObject(w);

  const int index = ControllerCopyIndex(report.Copies);
  const DiagnoseCopy* speaker = index >= 0 ? &report.Copies[static_cast<std::size_t>(index)] : nullptr;
  OpenObject(w, "controller");
  Bool(w, "present", report.ControllerPresent);
  if (report.ControllerPresent) {
    Text(w, "interface", report.InterfacePath);
  } else {
    Null(w, "interface");
  }
  Bool(w, "connected", speaker && speaker->State.Connected);
  if (speaker && speaker->State.Connected) {
    Text(w, "path", SnapshotPath(speaker->State));
  } else {
    Null(w, "path");
  }
  if (speaker) {
    Number(w, "lastError", speaker->State.LastError);
    Number(w, "connects", speaker->State.Connects);
    Number(w, "losses", speaker->State.Losses);
    Number(w, "failedAttempts", speaker->State.FailedAttempts);
    Number(w, "reportedBy", speaker->ProcessId);
  } else {
    for (const char* key : {"lastError", "connects", "losses", "failedAttempts", "reportedBy"}) Null(w, key);
  }
  CloseObject(w);

  Maybe(w, "consoleSession", report.ConsoleSession);
  OpenArray(w, "copies");
  for (const DiagnoseCopy& copy : report.Copies) {
    OpenObject(w);
    Number(w, "pid", copy.ProcessId);
    Maybe(w, "session", copy.Session);
    Bool(w, "console", copy.Console);
    Ascii(w, "answer", AnswerName(copy.Answer));
    Maybe(w, "responding", copy.Responding);
    if (copy.Answer == CopyAnswer::Answered) {
      Ascii(w, "version", VersionText(copy.State.Version).c_str());
      Text(w, "started", FileTimeIso(copy.State.Started));
      Bool(w, "connected", copy.State.Connected);
      Bool(w, "holdsConsole", copy.State.HoldsConsole);
      Number(w, "connects", copy.State.Connects);
      Number(w, "losses", copy.State.Losses);
    }
    CloseObject(w);
  }
  CloseArray(w);

  OpenObject(w, "autostart");
  Maybe(w, "runValue", report.RunValue);
  Maybe(w, "task", report.TaskPresent);
  CloseObject(w);

  OpenArray(w, "displays");
  for (const DisplayInfo& display : report.Displays) {
    OpenObject(w);
    Text(w, "name", display.Name);
    Bool(w, "primary", display.Primary);
    OpenArray(w, "rect");
    for (std::int32_t edge : {display.Left, display.Top, display.Right, display.Bottom}) Number(w, nullptr, edge);
    CloseArray(w);
    Number(w, "dpi", display.Dpi);
    Number(w, "scale", ScaleToDpi(100, display.Dpi));
    Maybe(w, "session", display.Session);
    Bool(w, "console", display.Session && report.ConsoleSession && *display.Session == *report.ConsoleSession);
    CloseObject(w);
  }
  CloseArray(w);

  OpenObject(w, "audio");
  Bool(w, "output", report.AudioOutputs > 0);
  Number(w, "outputDevices", report.AudioOutputs);
  CloseObject(w);

  OpenObject(w, "os");
  Ascii(w, "version", (std::to_string(report.OsMajor) + "." + std::to_string(report.OsMinor)).c_str());
  Number(w, "build", report.OsBuild);
  Maybe(w, "revision", report.OsRevision);
  Text(w, "edition", report.OsEdition);
  Text(w, "release", report.OsRelease);
  Ascii(w, "architecture", MachineName(report.NativeMachine));
  Ascii(w, "program", MachineName(report.ProgramMachine));
  Bool(w, "emulated", report.NativeMachine != 0 && report.NativeMachine != report.ProgramMachine);
  CloseObject(w);

  OpenObject(w, "signature");
  Text(w, "file", report.SignedFile);
  Bool(w, "verified", report.SignatureStatus == 0);
  Ascii(w, "status", Hex(report.SignatureStatus).c_str());
  Ascii(w, "meaning", SignatureVerdict(report.SignatureStatus));
  CloseObject(w);

  CloseObject(w);
  w.Text += '\n';
  return w.Text;
}
