// OstinelSetupCheck.dll: the custom actions of Ostinel.msi run from its Binary table before the
// installation changes anything; each adds its reason to PresetRefused, and the package's launch
// condition then stops the install with it (as its other refusals do).
//
// CheckInstallFolder: INSTALLDIR must be a folder Ostinel may use (install_folder.h): new, empty or
// an earlier install's, every folder above it safe from others.
//
// CheckSetupUninstaller: the package removes Ostinel installed by OstinelSetup.exe by
// running that setup's Uninstall.exe as SYSTEM; when someone other than an administrator could
// have changed that uninstaller or a folder above it, the action adds the reason to PresetRefused,
// and the package's launch condition then stops the install with it (as its other refusals do).
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "settings_opener/folder_trust_win.h"
#include "settings_opener/install_folder_win.h"

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

// Appends text to PresetRefused.
UINT Refuse(MSIHANDLE install, const std::wstring& text) {
  std::wstring refused = Property(install, L"PresetRefused");
  if (!refused.empty()) refused += L" ";
  refused += text;
  return MsiSetPropertyW(install, L"PresetRefused", refused.c_str()) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                                       : ERROR_INSTALL_FAILURE;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CheckInstallFolder(MSIHANDLE install) {
  // Before costing INSTALLDIR holds only what the command line or an earlier install gave it;
  // without either it is the package's default.
  std::wstring folder = Property(install, L"INSTALLDIR");
  if (folder.empty()) folder = Property(install, L"ProgramFiles64Folder") + L"Ostinel";
  std::vector<std::wstring> recorded;
  for (const wchar_t* name : {L"InstalledDir", L"SetupDir"}) {
    const std::wstring value = Property(install, name);
    if (!value.empty()) recorded.push_back(value);
  }
  const InstallFolderVerdict verdict = ::CheckInstallFolder(folder, recorded);
  if (verdict.State != INSTALL_FOLDER_REFUSED) return ERROR_SUCCESS;
  return Refuse(install, L"INSTALLDIR=" + folder + L" is not a folder Ostinel may be installed in: " + verdict.Reason +
                             L". Choose a new or empty folder, or the one Ostinel is installed in.");
}

extern "C" __declspec(dllexport) UINT __stdcall CheckSetupUninstaller(MSIHANDLE install) {
  const std::wstring uninstaller = Property(install, L"SetupUninstaller");
  if (uninstaller.empty()) return ERROR_SUCCESS;
  const TrustVerdict verdict = JudgePathTrust(uninstaller);
  if (verdict.Trusted) return ERROR_SUCCESS;
  return Refuse(install, L"Ostinel installed by OstinelSetup.exe in " + Property(install, L"SetupDir") +
                             L" was not removed: its uninstaller would run as SYSTEM, and someone other than an "
                             L"administrator could have changed it (" +
                             verdict.Reason +
                             L"). Make sure it is the setup's own, uninstall it, then install this package.");
}
