// Whether a file or folder that a program running as SYSTEM (or as an administrator) is about to
// run, or to name in a task, could have been changed by someone who is not an administrator. The
// Win32 side reads the owner and the access list (folder_trust_win.cpp); this decides.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum TrustAceKind : int {
  TRUST_ACE_ALLOW,    // ACCESS_ALLOWED_ACE_TYPE
  TRUST_ACE_DENY,     // ACCESS_DENIED_ACE_TYPE
  TRUST_ACE_UNKNOWN,  // any other type (object, callback, ...): its trustee is not read
};

struct TrustAce {
  TrustAceKind Kind = TRUST_ACE_ALLOW;
  bool InheritOnly = false;  // INHERIT_ONLY_ACE: for what is made inside, not for the object itself
  std::uint32_t Mask = 0;    // the access mask as stored (generic bits not mapped)
  std::wstring Sid;          // the trustee, "S-1-5-32-545" form
};

struct TrustDescription {
  std::wstring Owner;  // "S-1-5-32-544" form; empty when it could not be read
  bool HasDacl = true; // a NULL access list grants everyone everything
  std::vector<TrustAce> Aces;
  // FILE_ATTRIBUTE_REPARSE_POINT: a junction, a symbolic link or a mount point. Its own owner and
  // list say nothing about what it leads to, whose folders above are not in the chain judged.
  bool ReparsePoint = false;
};

enum TrustRole : int {
  // The file that runs or is named, or the folder that holds it: writing into it (a file, or a
  // DLL planted beside the program), deleting, or taking it over changes what runs.
  TRUST_ITEM,
  // A folder further up: only renaming or deleting what it holds (and taking it over) can put
  // another folder in the place of the item's.
  TRUST_ANCESTOR,
};

struct TrustVerdict {
  bool Trusted = false;
  std::wstring Reason;  // why not (English, for the installer's log); empty when trusted
};

// The access bits that change an object of that role, as stored in an ACE.
std::uint32_t ChangeAccessMask(TrustRole role);

// Trusted when the object is no reparse point, the owner is SYSTEM, Administrators or
// TrustedInstaller (or adminAccount, the administrator this program runs as, when not empty), and
// no ACE that applies to the object itself lets anyone else change it. Denying ACEs are not counted (the decision never relies on
// their order); inherit-only ACEs do not apply to the object; CREATOR OWNER matches nobody on the
// object itself; an ACE of an unknown type that applies to the object is refused.
TrustVerdict JudgeTrust(const TrustDescription& description, TrustRole role, std::wstring_view adminAccount);
