#include "settings_opener/folder_trust.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr wchar_t kSystem[] = L"S-1-5-18";
constexpr wchar_t kAdministrators[] = L"S-1-5-32-544";
constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3459869454-2873263353-2540520545-1556470441";
constexpr wchar_t kUsers[] = L"S-1-5-32-545";
constexpr wchar_t kAuthenticatedUsers[] = L"S-1-5-11";
constexpr wchar_t kEveryone[] = L"S-1-1-0";
constexpr wchar_t kCreatorOwner[] = L"S-1-3-0";
constexpr wchar_t kAllApplicationPackages[] = L"S-1-15-2-1";
constexpr wchar_t kAllRestrictedApplicationPackages[] = L"S-1-15-2-2";
constexpr wchar_t kSomeUser[] = L"S-1-5-21-1004336348-1177238915-682003330-1001";

constexpr std::uint32_t kFullControl = 0x1f01ff;     // FA
constexpr std::uint32_t kModify = 0x1301bf;          // M
constexpr std::uint32_t kReadExecute = 0x1200a9;     // RX
constexpr std::uint32_t kGenericReadExecute = 0xa0000000;
constexpr std::uint32_t kGenericAll = 0x10000000;

TrustAce Allow(const wchar_t* sid, std::uint32_t mask, bool inheritOnly = false) {
  return TrustAce{TRUST_ACE_ALLOW, inheritOnly, mask, sid};
}

// C:\Program Files as Windows ships it.
TrustDescription ProgramFiles() {
  return TrustDescription{kTrustedInstaller,
                          true,
                          {Allow(kCreatorOwner, kGenericAll, true), Allow(kSystem, kGenericAll, true),
                           Allow(kSystem, kModify), Allow(kAdministrators, kGenericAll, true),
                           Allow(kAdministrators, kModify), Allow(kUsers, kGenericReadExecute, true),
                           Allow(kUsers, kReadExecute), Allow(kTrustedInstaller, kGenericAll, true),
                           Allow(kTrustedInstaller, kFullControl), Allow(kAllApplicationPackages, kReadExecute),
                           Allow(kAllApplicationPackages, kGenericReadExecute, true),
                           Allow(kAllRestrictedApplicationPackages, kReadExecute),
                           Allow(kAllRestrictedApplicationPackages, kGenericReadExecute, true)}};
}

// The folder as the installers lock it.
TrustDescription Locked(const wchar_t* owner) {
  return TrustDescription{owner, true,
                          {Allow(kSystem, kFullControl), Allow(kAdministrators, kFullControl), Allow(kUsers, kReadExecute)}};
}

TEST(FolderTrust, ProgramFilesAndTheLockedFolderAreTrusted) {
  for (TrustRole role : {TRUST_ITEM, TRUST_ANCESTOR}) {
    EXPECT_TRUE(JudgeTrust(ProgramFiles(), role, L"").Trusted);
    for (const wchar_t* owner : {kSystem, kAdministrators, kTrustedInstaller}) {
      const TrustVerdict verdict = JudgeTrust(Locked(owner), role, L"");
      EXPECT_TRUE(verdict.Trusted) << verdict.Reason;
      EXPECT_EQ(verdict.Reason, L"");
    }
  }
}

// A folder made under C:\ inherits Authenticated Users: Modify; C:\ itself gives them only the
// creation of folders, and Modify inherit-only.
TEST(FolderTrust, WhatUsersCanChangeIsRefused) {
  TrustDescription underRoot = Locked(kAdministrators);
  underRoot.Aces.push_back(Allow(kAuthenticatedUsers, kModify));
  const TrustVerdict item = JudgeTrust(underRoot, TRUST_ITEM, L"");
  EXPECT_FALSE(item.Trusted);
  EXPECT_EQ(item.Reason, L"Authenticated Users (S-1-5-11) can change it (write data or add files, append data or "
                         L"add folders, delete)");
  EXPECT_EQ(JudgeTrust(underRoot, TRUST_ANCESTOR, L"").Reason, L"Authenticated Users (S-1-5-11) can change it (delete)");
  TrustDescription root = Locked(kTrustedInstaller);
  root.Aces.push_back(Allow(kAuthenticatedUsers, 0x4));
  root.Aces.push_back(Allow(kAuthenticatedUsers, kModify | kGenericAll, true));
  EXPECT_TRUE(JudgeTrust(root, TRUST_ANCESTOR, L"").Trusted);
  EXPECT_EQ(JudgeTrust(root, TRUST_ITEM, L"").Reason,
            L"Authenticated Users (S-1-5-11) can change it (append data or add folders)");

  TrustDescription everyone = ProgramFiles();
  everyone.Aces.push_back(Allow(kEveryone, 0x40000000));
  EXPECT_EQ(JudgeTrust(everyone, TRUST_ITEM, L"").Reason, L"Everyone (S-1-1-0) can change it (write)");
  TrustDescription user = ProgramFiles();
  user.Aces.push_back(Allow(kSomeUser, kFullControl));
  EXPECT_FALSE(JudgeTrust(user, TRUST_ANCESTOR, L"").Trusted);
  // The same account is trusted when it is the administrator this program runs as.
  EXPECT_TRUE(JudgeTrust(user, TRUST_ANCESTOR, kSomeUser).Trusted);
}

// Which bits change an item, and which a folder above it: writing into a folder above only adds
// something beside the item's folder.
TEST(FolderTrust, ChangeBitsByRole) {
  struct Case {
    std::uint32_t Mask;
    bool ChangesItem;
    bool ChangesAncestor;
  };
  for (const Case& c : {Case{0x2, true, false}, Case{0x4, true, false}, Case{0x40, true, true},
                        Case{0x10000, true, true}, Case{0x40000, true, true}, Case{0x80000, true, true},
                        Case{0x10000000, true, true}, Case{0x40000000, true, false},
                        // read, execute, read and write attributes and extended attributes, synchronize
                        Case{kReadExecute | 0x10 | 0x100 | 0x80000000 | 0x20000000, false, false}}) {
    TrustDescription description = ProgramFiles();
    description.Aces.push_back(Allow(kUsers, c.Mask));
    EXPECT_EQ(!JudgeTrust(description, TRUST_ITEM, L"").Trusted, c.ChangesItem) << std::hex << c.Mask;
    EXPECT_EQ(!JudgeTrust(description, TRUST_ANCESTOR, L"").Trusted, c.ChangesAncestor) << std::hex << c.Mask;
  }
}

// A junction or symbolic link, in any role: its own list, however locked, says nothing of where it
// leads, and the folders above its target are never judged.
TEST(FolderTrust, AReparsePointIsRefusedWhateverItsOwnerAndList) {
  for (TrustRole role : {TRUST_ITEM, TRUST_ANCESTOR}) {
    for (TrustDescription description : {ProgramFiles(), Locked(kSystem)}) {
      description.ReparsePoint = true;
      const TrustVerdict verdict = JudgeTrust(description, role, kSystem);
      EXPECT_FALSE(verdict.Trusted);
      EXPECT_EQ(verdict.Reason, L"it is a junction or symbolic link (a reparse point), which leads elsewhere");
    }
  }
}

TEST(FolderTrust, OwnerAndAccessListOfTheirOwn) {
  EXPECT_EQ(JudgeTrust(Locked(kSomeUser), TRUST_ANCESTOR, L"").Reason,
            L"its owner S-1-5-21-1004336348-1177238915-682003330-1001 is not SYSTEM, Administrators or TrustedInstaller");
  EXPECT_EQ(JudgeTrust(Locked(kUsers), TRUST_ITEM, L"").Reason,
            L"its owner Users (S-1-5-32-545) is not SYSTEM, Administrators or TrustedInstaller");
  EXPECT_EQ(JudgeTrust(Locked(L""), TRUST_ITEM, L"").Reason, L"its owner could not be read");
  EXPECT_TRUE(JudgeTrust(Locked(kSomeUser), TRUST_ITEM, kSomeUser).Trusted);

  TrustDescription noList = Locked(kAdministrators);
  noList.HasDacl = false;
  EXPECT_EQ(JudgeTrust(noList, TRUST_ANCESTOR, L"").Reason, L"it has no access list, so everyone has full control");

  // Denying entries are not counted either way: one after a grant does not make the grant safe.
  TrustDescription denied = Locked(kAdministrators);
  denied.Aces.push_back(TrustAce{TRUST_ACE_DENY, false, kFullControl, kEveryone});
  EXPECT_TRUE(JudgeTrust(denied, TRUST_ITEM, L"").Trusted);
  denied.Aces.push_back(Allow(kUsers, kModify));
  EXPECT_FALSE(JudgeTrust(denied, TRUST_ITEM, L"").Trusted);

  TrustDescription creator = Locked(kAdministrators);
  creator.Aces.push_back(Allow(kCreatorOwner, kFullControl));
  EXPECT_TRUE(JudgeTrust(creator, TRUST_ITEM, L"").Trusted);

  TrustDescription unknown = Locked(kAdministrators);
  unknown.Aces.push_back(TrustAce{TRUST_ACE_UNKNOWN, true, kFullControl, L""});
  EXPECT_TRUE(JudgeTrust(unknown, TRUST_ITEM, L"").Trusted);
  unknown.Aces.push_back(TrustAce{TRUST_ACE_UNKNOWN, false, kReadExecute, L""});
  EXPECT_EQ(JudgeTrust(unknown, TRUST_ANCESTOR, L"").Reason,
            L"its access list holds an entry of a kind this check cannot read");
}

}  // namespace
