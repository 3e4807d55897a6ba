#include "settings_opener/folder_trust.h"

#include <array>

namespace {

constexpr std::uint32_t kWriteData = 0x2;      // FILE_WRITE_DATA, FILE_ADD_FILE
constexpr std::uint32_t kAppendData = 0x4;     // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
constexpr std::uint32_t kDeleteChild = 0x40;   // FILE_DELETE_CHILD
constexpr std::uint32_t kDelete = 0x10000;     // DELETE
constexpr std::uint32_t kWriteDac = 0x40000;   // WRITE_DAC
constexpr std::uint32_t kWriteOwner = 0x80000; // WRITE_OWNER
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3459869454-2873263353-2540520545-1556470441";
constexpr wchar_t kCreatorOwner[] = L"S-1-3-0";

struct BitName {
  std::uint32_t Bit;
  const wchar_t* Name;
};
constexpr std::array<BitName, 8> kBitNames{{
    {kWriteData, L"write data or add files"},
    {kAppendData, L"append data or add folders"},
    {kDeleteChild, L"delete what it holds"},
    {kDelete, L"delete"},
    {kWriteDac, L"change permissions"},
    {kWriteOwner, L"take ownership"},
    {kGenericAll, L"full control"},
    {kGenericWrite, L"write"},
}};

struct SidName {
  const wchar_t* Sid;
  const wchar_t* Name;
};
constexpr std::array<SidName, 6> kSidNames{{
    {L"S-1-5-32-545", L"Users"},
    {L"S-1-5-11", L"Authenticated Users"},
    {L"S-1-1-0", L"Everyone"},
    {L"S-1-5-4", L"INTERACTIVE"},
    {L"S-1-5-32-546", L"Guests"},
    {L"S-1-3-4", L"OWNER RIGHTS"},
}};

bool IsAdministrator(std::wstring_view sid, std::wstring_view adminAccount) {
  return sid == kSystem || sid == kAdministrators || sid == kTrustedInstaller ||
         (!adminAccount.empty() && sid == adminAccount);
}

std::wstring Trustee(const std::wstring& sid) {
  for (const SidName& known : kSidNames) {
    if (sid == known.Sid) return std::wstring(known.Name) + L" (" + sid + L")";
  }
  return sid;
}

std::wstring BitList(std::uint32_t bits) {
  std::wstring list;
  for (const BitName& bit : kBitNames) {
    if ((bits & bit.Bit) == 0) continue;
    if (!list.empty()) list += L", ";
    list += bit.Name;
  }
  return list;
}

}  // namespace

std::uint32_t ChangeAccessMask(TrustRole role) {
  const std::uint32_t replace = kDeleteChild | kDelete | kWriteDac | kWriteOwner | kGenericAll;
  return role == TRUST_ITEM ? replace | kWriteData | kAppendData | kGenericWrite : replace;
}

TrustVerdict JudgeTrust(const TrustDescription& description, TrustRole role, std::wstring_view adminAccount) {
  TrustVerdict verdict;
  if (description.ReparsePoint) {
    verdict.Reason = L"it is a junction or symbolic link (a reparse point), which leads elsewhere";
    return verdict;
  }
  if (!IsAdministrator(description.Owner, adminAccount)) {
    verdict.Reason = description.Owner.empty()
                         ? std::wstring(L"its owner could not be read")
                         : L"its owner " + Trustee(description.Owner) + L" is not SYSTEM, Administrators or TrustedInstaller";
    return verdict;
  }
  if (!description.HasDacl) {
    verdict.Reason = L"it has no access list, so everyone has full control";
    return verdict;
  }
  const std::uint32_t change = ChangeAccessMask(role);
  for (const TrustAce& ace : description.Aces) {
    if (ace.InheritOnly || ace.Kind == TRUST_ACE_DENY) continue;
    if (ace.Kind == TRUST_ACE_UNKNOWN) {
      verdict.Reason = L"its access list holds an entry of a kind this check cannot read";
      return verdict;
    }
    const std::uint32_t granted = ace.Mask & change;
    if (granted == 0 || IsAdministrator(ace.Sid, adminAccount) || ace.Sid == kCreatorOwner) continue;
    verdict.Reason = Trustee(ace.Sid) + L" can change it (" + BitList(granted) + L")";
    return verdict;
  }
  verdict.Trusted = true;
  return verdict;
}
