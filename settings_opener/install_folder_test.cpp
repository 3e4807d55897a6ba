#include "settings_opener/install_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

InstallFolderFacts Existing(const wchar_t* folder, std::vector<std::wstring> entries,
                            std::vector<std::wstring> recorded = {}) {
  InstallFolderFacts facts;
  facts.Folder = folder;
  facts.Exists = true;
  facts.Entries = std::move(entries);
  facts.RecordedFolders = std::move(recorded);
  return facts;
}

InstallFolderState StateOf(const InstallFolderFacts& facts) { return JudgeInstallFolder(facts).State; }

}  // namespace

TEST(InstallFolder, PlainPathsOnADriveOnly) {
  struct Case {
    const wchar_t* Given;
    const wchar_t* Plain;
  };
  for (const Case& c : {Case{L"C:\\Program Files\\Ostinel", L"C:\\Program Files\\Ostinel"},
                        Case{L"c:/Tools//Ostinel\\\\", L"C:\\Tools\\Ostinel"}, Case{L"D:\\", L"D:\\"},
                        Case{L"C:\\\\", L"C:\\"}, Case{L"C:/", L"C:\\"}, Case{L"c:", L"C:\\"},
                        Case{L"C:\\Kiosk & Co\\Ostinel", L"C:\\Kiosk & Co\\Ostinel"},
                        Case{L"C:\\a.b\\...x", L"C:\\a.b\\...x"}, Case{L"a:\\x", L"A:\\x"},
                        Case{L"Z:\\x", L"Z:\\x"}, Case{L"z:/x", L"Z:\\x"}}) {
    EXPECT_EQ(PlainFolderPath(c.Given), c.Plain) << c.Given;
  }
  // Relative, on a share, a device path, a stream, wildcards, a step up or in place.
  for (const wchar_t* given : {L"", L"C", L"C:Tools", L"Tools\\Ostinel", L"\\Tools", L"\\\\server\\share\\Ostinel",
                               L"\\\\?\\C:\\Ostinel", L"1:\\Ostinel", L"C:\\Ostinel:stream", L"C:\\Ost*",
                               L"C:\\Program Files\\..\\Windows", L"C:\\.\\Ostinel", L"C:\\Ostinel\\..",
                               L"@:\\x", L"[:\\x", L"`:\\x", L"{:\\x"}) {
    EXPECT_EQ(PlainFolderPath(given), L"") << given;
  }
  EXPECT_TRUE(SameFolder(L"c:\\program files\\OSTINEL\\", L"C:\\Program Files\\Ostinel"));
  EXPECT_FALSE(SameFolder(L"C:\\Program Files\\Ostinel2", L"C:\\Program Files\\Ostinel"));
  EXPECT_FALSE(SameFolder(L"", L""));
  EXPECT_TRUE(SameFolder(L"C:\\az", L"c:\\AZ"));
}

TEST(InstallFolder, ParentsUpToTheRoot) {
  EXPECT_EQ(ParentFolders(L"C:\\Kiosk & Co\\Ostinel"), (std::vector<std::wstring>{L"C:\\Kiosk & Co", L"C:\\"}));
  EXPECT_EQ(ParentFolders(L"D:\\Ostinel"), (std::vector<std::wstring>{L"D:\\"}));
  EXPECT_EQ(ParentFolders(L"C:\\a\\b\\c"), (std::vector<std::wstring>{L"C:\\a\\b", L"C:\\a", L"C:\\"}));
  EXPECT_TRUE(ParentFolders(L"C:\\").empty());
  EXPECT_TRUE(ParentFolders(L"Ostinel\\x").empty());
}

TEST(InstallFolder, NewEmptyOrAnEarlierInstall) {
  InstallFolderFacts missing;
  missing.Folder = L"C:\\Program Files\\Ostinel";
  EXPECT_EQ(StateOf(missing), INSTALL_FOLDER_NEW);
  EXPECT_EQ(StateOf(Existing(L"C:\\Tools\\Ostinel", {})), INSTALL_FOLDER_EMPTY);
  // The folder an installed product records, whatever it holds (the setup's uninstall entry, the
  // package's value with its trailing backslash), in any case.
  const std::vector<std::wstring> recorded{L"C:\\Tools\\Ostinel\\"};
  EXPECT_EQ(StateOf(Existing(L"c:\\tools\\ostinel", {L"Ostinel.exe", L"readme.txt"}, recorded)), INSTALL_FOLDER_OURS);
  // Or only what an install leaves: after an uninstall whose file in use waits for the restart.
  EXPECT_EQ(StateOf(Existing(L"C:\\Program Files\\Ostinel", {L"Ostinel.exe.1.old"})), INSTALL_FOLDER_OURS);
  EXPECT_EQ(StateOf(Existing(L"C:\\Program Files\\Ostinel",
                             {L"Ostinel.exe", L"OSTINELSETTINGS.EXE", L"Uninstall.exe", L"PolicyDefinitions",
                              L"OstinelTask.xml", L"Ostinel.exe.12.old", L"Ostinel.exe.90.old",
                              L"OstinelSettings.exe.3.old",
                              L"Ostinel.exe.new", L"OstinelSettings.exe.new"})),
            INSTALL_FOLDER_OURS);
}

TEST(InstallFolder, NeverARootOrAFolderHoldingAnythingElse) {
  // Empty or not, a drive's root is refused.
  EXPECT_EQ(StateOf(Existing(L"D:\\", {})), INSTALL_FOLDER_REFUSED);
  InstallFolderFacts root;
  root.Folder = L"C:/";
  const InstallFolderVerdict rootVerdict = JudgeInstallFolder(root);
  EXPECT_EQ(rootVerdict.State, INSTALL_FOLDER_REFUSED);
  EXPECT_EQ(rootVerdict.Reason, L"C:\\ is a drive's root, not a folder of its own");
  // Program Files itself, another program's folder: one entry not ours is enough, also beside ours.
  const InstallFolderVerdict programFiles =
      JudgeInstallFolder(Existing(L"C:\\Program Files", {L"Ostinel", L"Common Files"}));
  EXPECT_EQ(programFiles.State, INSTALL_FOLDER_REFUSED);
  EXPECT_EQ(programFiles.Reason, L"C:\\Program Files holds Ostinel, which is not Ostinel's: choose a new or empty "
                                 L"folder, or the one Ostinel is installed in");
  for (const wchar_t* other : {L"tool.exe", L"Ostinel.exe.old", L"Ostinel.exe.x.old", L"Ostinel.exe..old",
                               L"Ostinel.exe.1.old.txt", L"Ostinel.dll", L"Uninstall.exe.new", L"winmm.dll"}) {
    EXPECT_EQ(StateOf(Existing(L"C:\\Tools", {L"Ostinel.exe", other})), INSTALL_FOLDER_REFUSED) << other;
  }
  // A product recorded elsewhere does not make this folder ours.
  EXPECT_EQ(StateOf(Existing(L"C:\\Tools", {L"tool.exe"}, {L"C:\\Tools\\Ostinel", L"C:\\Program Files\\Ostinel"})),
            INSTALL_FOLDER_REFUSED);
  // A file of that name, a link (its lock would land on the target), a path that is no plain one.
  InstallFolderFacts file = Existing(L"C:\\Tools\\Ostinel", {});
  file.IsFolder = false;
  EXPECT_EQ(JudgeInstallFolder(file).Reason, L"C:\\Tools\\Ostinel is a file, not a folder");
  InstallFolderFacts link = Existing(L"C:\\Tools\\Ostinel", {}, {L"C:\\Tools\\Ostinel"});
  link.IsLink = true;
  EXPECT_EQ(JudgeInstallFolder(link).Reason, L"C:\\Tools\\Ostinel is a link to another folder");
  InstallFolderFacts share;
  share.Folder = L"\\\\server\\share\\Ostinel";
  EXPECT_EQ(JudgeInstallFolder(share).Reason,
            L"\"\\\\server\\share\\Ostinel\" is not a folder on a drive of this PC (X:\\name)");
}
