#include "settings_opener/folder_trust_win.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <array>

#include "win/win_handles.h"

namespace {

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return {};
  const UniqueLocalMemory memory(text);
  return text;
}

bool ReadTrustDescription(const std::wstring& path, TrustDescription* description) {
  // The item's own attributes: GetFileAttributesW does not follow a reparse point, while
  // GetNamedSecurityInfoW reads its target's owner and list.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  description->ReparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR security = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &security) != ERROR_SUCCESS) {
    return false;
  }
  const UniqueLocalMemory memory(security);
  description->Owner = SidText(owner);
  description->HasDacl = dacl != nullptr;
  description->Aces.clear();
  if (dacl == nullptr) return true;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    TrustAce ace;
    ace.InheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      // Both types share one layout: the mask, then the trustee's SID.
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
      ace.Kind = header->AceType == ACCESS_ALLOWED_ACE_TYPE ? TRUST_ACE_ALLOW : TRUST_ACE_DENY;
      ace.Mask = allowed->Mask;
      ace.Sid = SidText(const_cast<DWORD*>(&allowed->SidStart));
    } else {
      ace.Kind = TRUST_ACE_UNKNOWN;
    }
    description->Aces.push_back(ace);
  }
  return true;
}

// The account this process runs as, when it is an administrator (SYSTEM, or an elevated member of
// Administrators); empty otherwise.
std::wstring AdminAccount() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return {};
  const UniqueHandle token(opened);
  std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> buffer{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) return {};
  std::array<BYTE, SECURITY_MAX_SID_SIZE> administrators{};
  DWORD sidSize = static_cast<DWORD>(administrators.size());
  BOOL member = FALSE;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators.data(), &sidSize) ||
      !CheckTokenMembership(nullptr, administrators.data(), &member) || !member) {
    return {};
  }
  return SidText(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

}  // namespace

bool RunningAsSystem() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) return false;
  const UniqueHandle token(opened);
  std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> buffer{};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size) &&
         IsWellKnownSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid, WinLocalSystemSid);
}

TrustVerdict JudgePathTrust(const std::wstring& path) {
  const std::wstring admin = AdminAccount();
  std::wstring current = path;
  // The item and the folder that holds it, then every folder above up to the drive's root.
  for (int level = 0;; ++level) {
    TrustDescription description;
    TrustVerdict verdict;
    if (!ReadTrustDescription(current, &description)) {
      verdict.Reason = L"its owner and permissions could not be read";
    } else {
      verdict = JudgeTrust(description, level < 2 ? TRUST_ITEM : TRUST_ANCESTOR, admin);
    }
    if (!verdict.Trusted) {
      verdict.Reason = current + L": " + verdict.Reason;
      return verdict;
    }
    const std::size_t slash = current.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 == current.size()) return verdict;
    // "C:\x" goes up to "C:\", which is the last.
    const bool rootNext = slash == 0 || current.find_last_of(L'\\', slash - 1) == std::wstring::npos;
    current = current.substr(0, rootNext ? slash + 1 : slash);
  }
}

TrustVerdict JudgeOneTrust(const std::wstring& path, TrustRole role) {
  TrustDescription description;
  TrustVerdict verdict;
  if (!ReadTrustDescription(path, &description)) {
    verdict.Reason = L"its owner and permissions could not be read";
  } else {
    verdict = JudgeTrust(description, role, AdminAccount());
  }
  if (!verdict.Trusted) verdict.Reason = path + L": " + verdict.Reason;
  return verdict;
}
