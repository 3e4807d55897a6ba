#include "settings_opener/install_folder_win.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "settings_opener/folder_trust_win.h"
#include "settings_opener/install_folder_sddl.h"
#include "win/win_handles.h"

namespace {

std::wstring RegistryText(const wchar_t* key, const wchar_t* name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) return {};
  const UniqueRegKey keyHandle(opened);
  DWORD size = 0;
  if (RegGetValueW(keyHandle.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegGetValueW(keyHandle.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS) {
    return {};
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

std::wstring ErrorText(const wchar_t* what, DWORD error) {
  return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

}  // namespace

std::vector<std::wstring> RecordedInstallFolders() {
  std::vector<std::wstring> folders;
  for (const std::wstring& folder :
       {RegistryText(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ostinel", L"InstallLocation"),
        RegistryText(L"Software\\Vemto\\Ostinel", L"InstallDir")}) {
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

InstallFolderVerdict CheckInstallFolder(const std::wstring& folder, const std::vector<std::wstring>& recorded) {
  InstallFolderFacts facts;
  facts.Folder = folder;
  facts.RecordedFolders = recorded;
  const std::wstring plain = PlainFolderPath(folder);
  const DWORD attributes = plain.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(plain.c_str());
  facts.Exists = attributes != INVALID_FILE_ATTRIBUTES;
  facts.IsFolder = facts.Exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.IsLink = facts.Exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (facts.IsFolder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW((plain + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                           nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
      InstallFolderVerdict verdict;
      verdict.Reason = ErrorText((plain + L": what it holds could not be read").c_str(), GetLastError());
      return verdict;
    }
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") facts.Entries.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  InstallFolderVerdict verdict = JudgeInstallFolder(facts);
  if (verdict.State == INSTALL_FOLDER_REFUSED) return verdict;
  for (const std::wstring& parent : ParentFolders(plain)) {
    if (GetFileAttributesW(parent.c_str()) == INVALID_FILE_ATTRIBUTES) {
      verdict.State = INSTALL_FOLDER_REFUSED;
      verdict.Reason = parent + L" does not exist: make it first, so that only administrators can change it";
      return verdict;
    }
    const TrustVerdict trust = JudgeOneTrust(parent, TRUST_ANCESTOR);
    if (!trust.Trusted) {
      verdict.State = INSTALL_FOLDER_REFUSED;
      verdict.Reason =
          L"someone other than an administrator could rename or replace " + plain + L" (" + trust.Reason + L")";
      return verdict;
    }
  }
  return verdict;
}

bool LockInstallFolder(const std::wstring& folder, InstallFolderState state, std::wstring* reason) {
  const std::wstring plain = PlainFolderPath(folder);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (plain.empty() || state == INSTALL_FOLDER_REFUSED ||
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(OSTINEL_INSTALL_FOLDER_SDDL, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    *reason = ErrorText(L"the folder's permissions could not be made", GetLastError());
    return false;
  }
  const UniqueLocalMemory descriptorMemory(descriptor);
  if (state == INSTALL_FOLDER_NEW) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    if (!CreateDirectoryW(plain.c_str(), &attributes)) {
      *reason = ErrorText((plain + L" could not be created with its permissions").c_str(), GetLastError());
      return false;
    }
    return true;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    *reason = ErrorText(L"the folder's permissions could not be read back", GetLastError());
    return false;
  }
  // Opened without following a link: a junction put in the folder's place since the check is
  // refused, not followed to lock its target instead.
  const UniqueFile opened(CreateFileW(plain.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!opened || !GetFileInformationByHandle(opened.get(), &information)) {
    *reason = ErrorText((plain + L" could not be opened").c_str(), GetLastError());
    return false;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    *reason = plain + L" is no longer a folder of its own";
    return false;
  }
  // The whole list replaced, nothing inherited from the folder above.
  const DWORD what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
  const DWORD error = SetSecurityInfo(opened.get(), SE_FILE_OBJECT, what, owner, nullptr, dacl, nullptr);
  if (error != ERROR_SUCCESS) {
    *reason = ErrorText((plain + L": its owner and permissions could not be set").c_str(), error);
    return false;
  }
  return true;
}
