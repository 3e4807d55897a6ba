// The installers' install folder on Windows: whether it may be used (install_folder.h, and every
// folder above it safe from others) and its lock.
#pragma once

#include <string>
#include <vector>

#include "settings_opener/install_folder.h"

// The folders installed Ostinel products record in the registry (64-bit view): the setup's
// uninstall entry's InstallLocation and the package's InstallDir.
std::vector<std::wstring> RecordedInstallFolders();

// Whether folder may take Ostinel (JudgeInstallFolder), and every folder above it exists and lets
// no one but an administrator rename or replace what it holds (JudgeTrust, as an ancestor).
InstallFolderVerdict CheckInstallFolder(const std::wstring& folder, const std::vector<std::wstring>& recorded);

// Gives folder the install folder's security descriptor (install_folder_sddl.h) before anything
// goes in: a new one is created with it in one step (failing when something has taken the name
// since the check), an existing one has its owner and whole access list replaced, protected from
// the folder above (through a handle that does not follow a link put in its place). Returns false
// with the reason when it could not.
bool LockInstallFolder(const std::wstring& folder, InstallFolderState state, std::wstring* reason);
