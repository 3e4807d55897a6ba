#include "settings_opener/install_folder.h"

#include <array>

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The programs whose files an upgrade or an uninstall renames aside or puts beside.
constexpr std::array<std::wstring_view, 2> kPrograms{L"Ostinel.exe", L"OstinelSettings.exe"};
constexpr std::array<std::wstring_view, 3> kOtherEntries{L"Uninstall.exe", L"PolicyDefinitions", L"OstinelTask.xml"};

}  // namespace

std::wstring PlainFolderPath(std::wstring_view folder) {
  // "C:" as the setup gives a drive's root without its backslash.
  if (folder.size() == 2 && IsDriveLetter(folder[0]) && folder[1] == L':') return {FoldAscii(folder[0]), L':', L'\\'};
  if (folder.size() < 3 || !IsDriveLetter(folder[0]) || folder[1] != L':' ||
      (folder[2] != L'\\' && folder[2] != L'/')) {
    return {};
  }
  std::wstring plain{FoldAscii(folder[0]), L':', L'\\'};
  std::size_t at = 3;
  while (at < folder.size()) {
    std::size_t end = at;
    while (end < folder.size() && folder[end] != L'\\' && folder[end] != L'/') ++end;
    const std::wstring_view name = folder.substr(at, end - at);
    if (name == L"." || name == L"..") return {};
    for (const wchar_t c : name) {
      // Not a folder's name: a stream (':') or wildcards.
      if (c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|' || c < L' ') {
        return {};
      }
    }
    if (!name.empty()) {
      if (plain.back() != L'\\') plain += L'\\';
      plain += name;
    }
    at = end + 1;
  }
  return plain;
}

bool SameFolder(std::wstring_view a, std::wstring_view b) {
  const std::wstring plainA = PlainFolderPath(a);
  return !plainA.empty() && SameText(plainA, PlainFolderPath(b));
}

std::vector<std::wstring> ParentFolders(std::wstring_view folder) {
  std::vector<std::wstring> parents;
  // A plain path longer than its root has a backslash after the drive's.
  std::wstring current = PlainFolderPath(folder);
  while (current.size() > 3) {
    const std::size_t slash = current.find_last_of(L'\\');
    current.resize(slash == 2 ? 3 : slash);
    parents.push_back(current);
  }
  return parents;
}

bool IsOstinelEntry(std::wstring_view name) {
  for (const std::wstring_view entry : kOtherEntries) {
    if (SameText(name, entry)) return true;
  }
  for (const std::wstring_view program : kPrograms) {
    if (SameText(name, program) || SameText(name, std::wstring(program) + L".new")) return true;
    // program.<n>.old
    if (name.size() <= program.size() + 5 || !SameText(name.substr(0, program.size()), program) ||
        name[program.size()] != L'.' || !SameText(name.substr(name.size() - 4), L".old")) {
      continue;
    }
    const std::wstring_view number = name.substr(program.size() + 1, name.size() - program.size() - 5);
    bool digits = true;
    for (const wchar_t c : number) digits = digits && c >= L'0' && c <= L'9';
    if (digits) return true;
  }
  return false;
}

InstallFolderVerdict JudgeInstallFolder(const InstallFolderFacts& facts) {
  InstallFolderVerdict verdict;
  const std::wstring folder = PlainFolderPath(facts.Folder);
  if (folder.empty()) {
    verdict.Reason = L"\"" + facts.Folder + L"\" is not a folder on a drive of this PC (X:\\name)";
    return verdict;
  }
  if (folder.size() == 3) {
    verdict.Reason = folder + L" is a drive's root, not a folder of its own";
    return verdict;
  }
  if (!facts.Exists) {
    verdict.State = INSTALL_FOLDER_NEW;
    return verdict;
  }
  if (!facts.IsFolder) {
    verdict.Reason = folder + L" is a file, not a folder";
    return verdict;
  }
  if (facts.IsLink) {
    verdict.Reason = folder + L" is a link to another folder";
    return verdict;
  }
  if (facts.Entries.empty()) {
    verdict.State = INSTALL_FOLDER_EMPTY;
    return verdict;
  }
  for (const std::wstring& recorded : facts.RecordedFolders) {
    if (SameFolder(recorded, folder)) {
      verdict.State = INSTALL_FOLDER_OURS;
      return verdict;
    }
  }
  for (const std::wstring& entry : facts.Entries) {
    if (!IsOstinelEntry(entry)) {
      verdict.Reason = folder + L" holds " + entry +
                       L", which is not Ostinel's: choose a new or empty folder, or the one Ostinel is installed in";
      return verdict;
    }
  }
  verdict.State = INSTALL_FOLDER_OURS;
  return verdict;
}
