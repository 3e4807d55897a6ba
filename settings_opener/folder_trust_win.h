// Reads a file's owner and access list for the folder trust decision (folder_trust.h).
#pragma once

#include <string>

#include "settings_opener/folder_trust.h"

// Whether path, the folder that holds it and every folder above it are safe from anyone but an
// administrator (and the account this process runs as, when that is an administrator). The reason
// names the first one that is not. A path whose security cannot be read is not trusted, nor one
// that passes through a junction or symbolic link anywhere in that chain.
TrustVerdict JudgePathTrust(const std::wstring& path);

// Whether this process runs as SYSTEM (Windows Installer's deferred actions that are not
// impersonated).
bool RunningAsSystem();

// Whether path alone (not the folders above it) is safe from anyone but an administrator in role,
// as JudgePathTrust judges each of its levels.
TrustVerdict JudgeOneTrust(const std::wstring& path, TrustRole role);
