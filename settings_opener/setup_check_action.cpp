// OstinelSetupCheck.dll: a custom action of Ostinel.msi, run from its Binary table before the
// installation changes anything. The package removes Ostinel installed by OstinelSetup.exe by
// running that setup's Uninstall.exe as SYSTEM; when someone other than an administrator could
// have changed that uninstaller or a folder above it, the action adds the reason to PresetRefused,
// and the package's launch condition then stops the install with it (as its other refusals do).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "settings_opener/folder_trust_win.h"

namespace {

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
  DWORD size = 0;
  wchar_t empty[1] = {};
  if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) return {};
  std::wstring value(size + 1, L'\0');
  size = static_cast<DWORD>(value.size());
  if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
  value.resize(size);
  return value;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CheckSetupUninstaller(MSIHANDLE install) {
  const std::wstring uninstaller = Property(install, L"SetupUninstaller");
  if (uninstaller.empty()) return ERROR_SUCCESS;
  const TrustVerdict verdict = JudgePathTrust(uninstaller);
  if (verdict.Trusted) return ERROR_SUCCESS;
  std::wstring refused = Property(install, L"PresetRefused");
  if (!refused.empty()) refused += L" ";
  refused += L"Ostinel installed by OstinelSetup.exe in " + Property(install, L"SetupDir") +
             L" was not removed: its uninstaller would run as SYSTEM, and someone other than an administrator could "
             L"have changed it (" +
             verdict.Reason + L"). Make sure it is the setup's own, uninstall it, then install this package.";
  return MsiSetPropertyW(install, L"PresetRefused", refused.c_str()) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                                       : ERROR_INSTALL_FAILURE;
}
