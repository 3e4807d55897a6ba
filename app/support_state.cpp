#include "app/support_state.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/status_log.h"
#include "eventlog/event_log.h"
#include "ostinel_version.h"
#include "support/support_section.h"
#include "win/process_user.h"
#include "win/win_handles.h"

namespace {

constexpr int kCreateTries = 10;
constexpr DWORD kCreateRetryMs = 50;

// Set once at start-up, before the device thread starts (its start orders this write before the
// thread's reads), and never unmapped: the device thread may still report while the process ends.
SupportSection* Section = nullptr;

// This process's user, as SDDL ("S-1-5-21-..."); empty when the token would not tell.
std::wstring OwnUserSid() {
  std::vector<BYTE> user = ProcessTokenUser();
  return user.empty() ? L"" : SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
}

// Owned by this process's user, which the support report checks. Read by that user, SYSTEM and
// the administrators (a report of an Intune remediation or a help desk, across sessions); no entry
// grants writing: only this process, through the creator's handle, writes. The OWNER RIGHTS entry
// (S-1-3-4) takes the owner's implicit right to change this list away, so no other process of the
// same user can make the section writable either.
std::wstring SectionAccess(const std::wstring& user) {
  return L"O:" + user + L"D:P(A;;GR;;;" + user + L")(A;;GR;;;SY)(A;;GR;;;BA)(A;;GR;;;S-1-3-4)";
}

// The section's name as an administrator finds the object (WinObj, handle.exe).
std::wstring ObjectName(DWORD session) {
  return (session == 0 ? std::wstring(L"\\BaseNamedObjects\\")
                       : L"\\Sessions\\" + std::to_wstring(session) + L"\\BaseNamedObjects\\") +
         SUPPORT_SECTION_NAME;
}

}  // namespace

void StartSupportState() {
  const std::wstring user = OwnUserSid();
  if (user.empty()) return;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(SectionAccess(user).c_str(), SDDL_REVISION_1,
                                                           &descriptor, nullptr)) {
    return;
  }
  const UniqueLocalMemory descriptorMemory(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  const std::wstring name = std::wstring(L"Local\\") + SUPPORT_SECTION_NAME;
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
  // A section left by an ended copy lives on while a report is reading it (a few milliseconds):
  // asked again shortly. One made by anyone else is not this copy's to trust or write.
  HANDLE mapping = nullptr;
  bool taken = false;
  for (int attempt = 0; attempt < kCreateTries && !mapping; ++attempt) {
    if (attempt > 0) Sleep(kCreateRetryMs);
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                 static_cast<DWORD>(sizeof(SupportSection)), name.c_str());
    const DWORD error = GetLastError();
    taken = (mapping && error == ERROR_ALREADY_EXISTS) || (!mapping && error == ERROR_ACCESS_DENIED);
    if (mapping && error == ERROR_ALREADY_EXISTS) {
      CloseHandle(mapping);
      mapping = nullptr;
    }
  }
  if (taken) {
    // Said once: the copy runs on without a report of its own, and the report does not believe
    // what it finds under that name.
    LogLine(AppState,
            L"Another program holds the name of Ostinel's support section: the support report cannot read this "
            L"copy.\r\n");
    ReportSupportSectionTaken(ObjectName(session).c_str());
    return;
  }
  if (!mapping) return;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SupportSection));
  if (!view) {
    CloseHandle(mapping);
    return;
  }
  // The mapping's handle stays open with the view for the life of the process.
  auto* section = static_cast<SupportSection*>(view);
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  InitSupportSection(*section, GetCurrentProcessId(), session,
                     (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime,
                     {OSTINEL_VERSION_MAJOR, OSTINEL_VERSION_MINOR, OSTINEL_VERSION_PATCH, OSTINEL_VERSION_BUILD},
                     AppState.DeviceAllowed.load(std::memory_order_acquire) != 0);
  Section = section;
}

void NoteSupportState(DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  if (Section) NoteSupportNotice(*Section, notice, error, path);
}
