// Which folders the installers may install into: one that does not exist yet, an empty one, or one
// that holds an earlier Ostinel install; never a drive's root or a folder that holds anything else
// (Program Files itself, Windows, a profile, another program's folder), whose permissions the
// installers' lock would otherwise rewrite. The Win32 side (install_folder_win.cpp) gathers the
// facts and locks the folder; this decides.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum InstallFolderState : int {
  INSTALL_FOLDER_REFUSED,
  INSTALL_FOLDER_NEW,    // not there: made with its final permissions
  INSTALL_FOLDER_EMPTY,  // there and empty
  INSTALL_FOLDER_OURS,   // holds an earlier install: an upgrade or a repair in place
};

struct InstallFolderFacts {
  std::wstring Folder;  // as the installer was given it
  bool Exists = false;
  bool IsFolder = true;               // false: a file has that name
  bool IsLink = false;                // a junction or symbolic link: its lock would land elsewhere
  std::vector<std::wstring> Entries;  // the names directly inside (not "." and "..")
  // The folders installed Ostinel products record: the setup's uninstall entry (InstallLocation)
  // and the package's InstallDir value.
  std::vector<std::wstring> RecordedFolders;
};

struct InstallFolderVerdict {
  InstallFolderState State = INSTALL_FOLDER_REFUSED;
  std::wstring Reason;  // why refused (English, for the installers' logs); empty otherwise
};

// folder as a plain absolute path on a drive, "X:\name\...": '/' read as '\', repeated and
// trailing backslashes dropped, the drive letter upper case. Empty when it is not such a path (no
// drive letter, a share, a device path, "." or ".." in it); the root is "X:\" ("X:" too).
std::wstring PlainFolderPath(std::wstring_view folder);

// Whether a and b name the same folder (plain paths compared without ASCII case).
bool SameFolder(std::wstring_view a, std::wstring_view b);

// The folders above folder (made a plain path), nearest first, up to the drive's root: "C:\a\b"
// gives "C:\a", "C:\"; none for a path that is no plain one. Each must keep others from renaming
// or replacing what it holds.
std::vector<std::wstring> ParentFolders(std::wstring_view folder);

// Whether name is one an Ostinel install leaves in its folder: the programs, the uninstaller, the
// templates' folder, an old task definition, and the files renamed aside during an upgrade or an
// uninstall (Ostinel.exe.1.old) or left to replace one at the restart (Ostinel.exe.new).
bool IsOstinelEntry(std::wstring_view name);

InstallFolderVerdict JudgeInstallFolder(const InstallFolderFacts& facts);
