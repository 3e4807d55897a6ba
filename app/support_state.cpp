#include "app/support_state.h"

#include <windows.h>
#include <sddl.h>

#include <string>

#include "core/app_state.h"
#include "ostinel_version.h"
#include "device/support_section.h"
#include "win/win_handles.h"

namespace {

// Everyone may read the section; only this process, which holds the creator's handle, writes it.
constexpr wchar_t kSectionAccess[] = L"D:P(A;;GR;;;WD)";
constexpr int kCreateTries = 10;
constexpr DWORD kCreateRetryMs = 50;

// Set once at start-up, before the device thread starts (its start orders this write before the
// thread's reads), and never unmapped: the device thread may still report while the process ends.
SupportSection* Section = nullptr;

}  // namespace

void StartSupportState() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kSectionAccess, SDDL_REVISION_1, &descriptor, nullptr)) {
    return;
  }
  const UniqueLocalMemory descriptorMemory(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  const std::wstring name = std::wstring(L"Local\\") + SUPPORT_SECTION_NAME;
  // A section left by an ended copy lives on while a report is reading it (a few milliseconds):
  // asked again shortly. One made by anyone else is not this copy's to trust or write.
  HANDLE mapping = nullptr;
  for (int attempt = 0; attempt < kCreateTries && !mapping; ++attempt) {
    if (attempt > 0) Sleep(kCreateRetryMs);
    mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                 static_cast<DWORD>(sizeof(SupportSection)), name.c_str());
    if (mapping && GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(mapping);
      mapping = nullptr;
    }
  }
  if (!mapping) return;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(SupportSection));
  if (!view) {
    CloseHandle(mapping);
    return;
  }
  // The mapping's handle stays open with the view for the life of the process.
  auto* section = static_cast<SupportSection*>(view);
  DWORD session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &session);
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
