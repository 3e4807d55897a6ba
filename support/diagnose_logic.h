// The support report's portable part (OstinelSettings.exe /diagnose): what was gathered, the
// decisions on it (which copy speaks for the controller, the exit value, whether ordinary users may
// change the settings, the machine's architecture) and the report's UTF-8 JSON text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/policy_merge.h"
#include "support/support_section.h"

// Exit values of /diagnose.
constexpr int DIAGNOSE_EXIT_CONNECTED = 0;      // a running copy holds the controller
constexpr int DIAGNOSE_EXIT_NOT_CONNECTED = 1;  // none does (or none answered)
constexpr int DIAGNOSE_EXIT_USAGE = 2;          // bad arguments; nothing done
constexpr int DIAGNOSE_EXIT_NOT_WRITTEN = 3;    // the report could not be written

// A process named like the utility, as the process list shows it.
struct RunningCopy {
  std::uint32_t ProcessId = 0;
  std::optional<std::uint32_t> Session;  // none when the system would not tell
  std::optional<bool> Installed;         // it runs the utility installed beside the tool; none: not known
};

// What one session's support section gave, and whether it may be believed (SectionTrusted).
struct SessionSection {
  std::uint32_t Session = 0;
  SupportSnapshot Snapshot;
  bool Trusted = false;
};

// Who stands behind a section, as the system tells it; empty or none where it would not tell.
struct SectionOrigin {
  std::wstring ProcessImage;                    // full image path of the process the section names
  std::optional<std::uint32_t> ProcessSession;  // that process's session
  std::vector<std::uint8_t> ProcessUser;        // that process's user (its token's SID, as bytes)
  std::vector<std::uint8_t> Owner;              // the section's owner (SID bytes)
};

// What the system tells of a process; empty or none where it would not tell.
struct ProcessFacts {
  std::wstring Image;                     // full image path
  std::optional<std::uint32_t> Session;
  std::vector<std::uint8_t> User;         // its user's SID, as bytes
};

// A process as the sessions' process list shows it (WTSEnumerateProcesses): the system names its
// session and user to an administrator, also where neither the process nor its token may be opened.
struct ListedProcess {
  std::uint32_t ProcessId = 0;
  std::uint32_t Session = 0;
  std::vector<std::uint8_t> User;  // empty when the list names none
};

// Who a process is: its image as opening it told (another user's process needs SeDebugPrivilege);
// its session and user as the process list names them, else as opening the process and its token
// told. A token's access list grants its user and SYSTEM only, so an administrator learns another
// user's copy's user from the list alone.
ProcessFacts CombineProcessFacts(std::uint32_t processId, const ProcessFacts& opened,
                                 const std::vector<ListedProcess>& list);

// A Windows path in one spelling for comparison: without the "\\?\" or "\??\" prefix, with
// backslashes only, no empty, "." or ".." steps, ASCII letters in capitals. Empty when the path
// climbs above its root. Letters beyond ASCII are left as they are: both paths compared come
// from the system, spelled as the file is.
std::wstring ImagePathKey(const std::wstring& path);

// Whether the image path is the installed utility's (both known and the same file name).
bool IsInstalledImage(const std::wstring& image, const std::wstring& installedImage);

// A section read from session's namespace is believed only when the process it names runs the
// utility installed beside the tool, in that session, and the section's owner is that process's
// user. Anyone else may create a section of that name before the utility, write any words into it
// and name any process.
bool SectionTrusted(std::uint32_t session, const SupportSnapshot& snapshot, const SectionOrigin& origin,
                    const std::wstring& installedImage);

enum class CopyAnswer {
  Answered,    // its support section was read and believed
  SecondCopy,  // its session's section belongs to another copy: a copy that did not start (twice started)
  NoAnswer,    // no readable section for its session (not reachable, stuck mid-change, or not set up)
  NotTrusted,  // not the installed utility, or named by a section that is not its own: never counted
};

struct DiagnoseCopy {
  std::uint32_t ProcessId = 0;
  std::optional<std::uint32_t> Session;
  bool Console = false;  // its session is the one attached to the physical console
  CopyAnswer Answer = CopyAnswer::NoAnswer;
  std::optional<bool> Responding;  // its main window took a message in time (own session only)
  SupportSnapshot State;           // valid when Answered
};

// Each copy of the process list, with what its session's section says; a section whose copy the
// process list missed is still a copy, and the process a section not believed names is listed as
// not trusted. Ordered by session, then process id.
std::vector<DiagnoseCopy> MergeCopies(const std::vector<RunningCopy>& processes,
                                      const std::vector<SessionSection>& sections,
                                      std::optional<std::uint32_t> consoleSession);

// The copy whose state the report gives as the controller's: one that holds it, else one that has
// the console, else any that answered (and was believed). -1 when none answered.
int ControllerCopyIndex(const std::vector<DiagnoseCopy>& copies);

// An entry of the settings key's access list, as far as the decision needs it.
struct AccessEntry {
  bool Deny = false;
  bool OrdinaryUsers = false;  // Users, Authenticated Users, Everyone or Interactive
  bool InheritOnly = false;
  std::uint32_t Mask = 0;
};

// Whether a member of the ordinary groups may set the key's values: the first entry (in list
// order) for those groups that speaks of setting values decides. No list at all lets everyone.
bool UsersMayChangeSettings(bool hasList, const std::vector<AccessEntry>& entries);

// A monitor of the session the tool runs in: as SYSTEM that is session 0, whose one display is
// virtual and not the user's screen.
struct DisplayInfo {
  std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;  // physical pixels
  std::uint32_t Dpi = 96;
  bool Primary = false;
  std::wstring Name;
  std::optional<std::uint32_t> Session;  // none when the system would not tell
};

struct DiagnoseReport {
  std::wstring Version;  // this tool's
  std::wstring Generated;
  std::wstring Computer;

  bool SettingsKeyPresent = false;
  // Each stored value as the key holds it; none when missing or not a four-byte value.
  PerStoredSetting<std::optional<std::uint32_t>> Stored =
      PerStoredSetting<std::optional<std::uint32_t>>::Filled(std::nullopt);
  std::optional<bool> UsersMayChange;
  std::wstring SettingsAccess;  // the key's access list (SDDL)
  RawPolicies Policies{};       // the policy values as the registry holds them

  bool ControllerPresent = false;
  std::wstring InterfacePath;  // the first present interface's path
  std::vector<DiagnoseCopy> Copies;
  std::optional<std::uint32_t> ConsoleSession;

  std::optional<std::wstring> RunValue;
  std::optional<bool> TaskPresent;  // none when the task folder may not be read

  std::vector<DisplayInfo> Displays;
  std::uint32_t AudioOutputs = 0;

  std::uint32_t OsMajor = 0, OsMinor = 0, OsBuild = 0;
  std::optional<std::uint32_t> OsRevision;
  std::wstring OsEdition, OsRelease;
  std::uint16_t NativeMachine = 0;  // IMAGE_FILE_MACHINE_*
  std::uint16_t ProgramMachine = 0;

  std::wstring SignedFile;
  std::uint32_t SignatureStatus = 0;  // WinVerifyTrust's result
};

// IMAGE_FILE_MACHINE_* as a name ("x64", "arm64", "x86", "arm"), or "unknown".
const char* MachineName(std::uint16_t machine);

// A WinVerifyTrust result in words ("verified", "not signed", "untrusted root", ...).
const char* SignatureVerdict(std::uint32_t status);

// 0 when a copy holds the controller, 1 otherwise.
int DiagnoseExitCode(const DiagnoseReport& report);

// The report as UTF-8 JSON, two spaces per level, ending with a line break.
std::string DiagnoseReportJson(const DiagnoseReport& report);

// A FILETIME (100 ns steps since 1601, UTC) as "YYYY-MM-DDTHH:MM:SSZ".
std::wstring FileTimeIso(std::uint64_t fileTime);

// A JSON string literal (quotes included) of UTF-16 or UTF-32 text; a lone surrogate becomes U+FFFD.
std::string JsonString(const std::wstring& text);
