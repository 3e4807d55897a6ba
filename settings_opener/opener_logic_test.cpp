#include "settings_opener/opener_logic.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "language/interface_language.h"

namespace {

TEST(OpenerArguments, NoSwitchOpensTheSettings) {
  EXPECT_EQ(OpenerActionFromArguments(nullptr), OPENER_OPEN_SETTINGS);
  EXPECT_EQ(OpenerActionFromArguments(L""), OPENER_OPEN_SETTINGS);
  EXPECT_EQ(OpenerActionFromArguments(L"  \t "), OPENER_OPEN_SETTINGS);
  EXPECT_EQ(OpenerActionFromArguments(L"\"\""), OPENER_OPEN_SETTINGS);
}

TEST(OpenerArguments, SwitchesInAnyCaseWithSlashOrDash) {
  for (const wchar_t* text : {L"/grant-settings-access", L"-grant-settings-access", L"/GRANT-Settings-Access",
                              L"  /grant-settings-access  ", L"\"/grant-settings-access\"", L"/grant-settings-access\r\n"}) {
    EXPECT_EQ(OpenerActionFromArguments(text), OPENER_GRANT_SETTINGS_ACCESS);
  }
  for (const wchar_t* text : {L"/stop-utility", L"-stop-utility", L"/Stop-Utility", L"\t/stop-utility", L"\"-STOP-UTILITY\""}) {
    EXPECT_EQ(OpenerActionFromArguments(text), OPENER_STOP_UTILITY);
  }
  for (const wchar_t* text : {L"/create-logon-task", L"-Create-Logon-Task", L"\"/create-logon-task\" "}) {
    EXPECT_EQ(OpenerActionFromArguments(text), OPENER_CREATE_LOGON_TASK);
  }
}

TEST(OpenerArguments, AnythingElseIsRefused) {
  for (const wchar_t* text : {
           L"/", L"-", L"grant-settings-access",           // no switch character
           L"/grant", L"/stop", L"/stop-utilit",             // a beginning is not enough
           L"/stop-utilityx", L"/grant-settings-access2",  // nor is a longer word
           L"/stop-utility /grant-settings-access",        // one switch at a time
           L"/stop-utility now", L"/stop-utility\"x\"", L"/S", L"/?", L"\\stop-utility", L"/stop_utility",
           L"/create-logon-task C:\\x", L"/create-logon",
       }) {
    EXPECT_EQ(OpenerActionFromArguments(text), OPENER_INVALID_ARGUMENTS) << text;
  }
}

TEST(OpenerArguments, DiagnoseTakesAtMostOneFile) {
  struct Case {
    const wchar_t* Text;
    const wchar_t* File;
  };
  for (const Case& c : {Case{L"/diagnose", L""}, Case{L" -DIAGNOSE \r\n", L""}, Case{L"\"/diagnose\"", L""},
                        Case{L"/diagnose report.json", L"report.json"},
                        Case{L"/diagnose C:\\Temp\\r.json  ", L"C:\\Temp\\r.json"},
                        Case{L"/diagnose \"C:\\Program Data\\r 1.json\"", L"C:\\Program Data\\r 1.json"},
                        Case{L"\"/diagnose\" \"x y\"", L"x y"}}) {
    const OpenerCommand command = OpenerCommandFromArguments(c.Text);
    EXPECT_EQ(command.Action, OPENER_DIAGNOSE) << c.Text;
    EXPECT_EQ(command.ReportFile, c.File) << c.Text;
  }
  for (const wchar_t* text : {L"/diagnose a b", L"/diagnose \"a b", L"/diagnose \"\"", L"/diagnose /stop-utility",
                              L"/diagnose -x", L"/diagnosefile", L"/diag", L"/diagnose \"a\" b"}) {
    EXPECT_EQ(OpenerCommandFromArguments(text).Action, OPENER_INVALID_ARGUMENTS) << text;
  }
  EXPECT_EQ(OpenerCommandFromArguments(L"/stop-utility").ReportFile, L"");
}

// The setup's folder commands need their folder, quoted as the setup writes it (a root's trailing
// backslash inside the quotes included).
TEST(OpenerArguments, InstallFolderCommandsNeedTheirFolder) {
  struct Case {
    const wchar_t* Text;
    OpenerAction Action;
    const wchar_t* Folder;
  };
  for (const Case& c : {Case{L"/check-install-folder \"C:\\Kiosk & Co\\Ostinel\"", OPENER_CHECK_INSTALL_FOLDER,
                             L"C:\\Kiosk & Co\\Ostinel"},
                        Case{L"/lock-install-folder \"C:\\\"", OPENER_LOCK_INSTALL_FOLDER, L"C:\\"},
                        Case{L"-LOCK-INSTALL-FOLDER D:\\Ostinel", OPENER_LOCK_INSTALL_FOLDER, L"D:\\Ostinel"}}) {
    const OpenerCommand command = OpenerCommandFromArguments(c.Text);
    EXPECT_EQ(command.Action, c.Action) << c.Text;
    EXPECT_EQ(command.InstallFolder, c.Folder) << c.Text;
    EXPECT_EQ(command.ReportFile, L"") << c.Text;
  }
  for (const wchar_t* text : {L"/lock-install-folder", L"/check-install-folder \"\"", L"/lock-install-folder a b",
                              L"/lock-install-folder /stop-utility"}) {
    EXPECT_EQ(OpenerCommandFromArguments(text).Action, OPENER_INVALID_ARGUMENTS) << text;
  }
  EXPECT_EQ(OpenerCommandFromArguments(L"/diagnose C:\\r.json").InstallFolder, L"");
}

// The task's command is the installed program, whatever its folder holds: XML's reserved
// characters become entities, so a folder with "&" still gives a definition schtasks can read.
TEST(LogonTask, CommandIsTheProgramWithReservedCharactersEscaped) {
  EXPECT_EQ(XmlEscaped(L"a&b<c>d\"e'f \u4E2D"), L"a&amp;b&lt;c&gt;d&quot;e&apos;f \u4E2D");
  EXPECT_EQ(XmlEscaped(L"&&"), L"&amp;&amp;");
  const std::wstring definition = LogonTaskDefinition(L"D:\\Kiosk & Co\\Ostinel.exe");
  EXPECT_NE(definition.find(L"<Command>\"D:\\Kiosk &amp; Co\\Ostinel.exe\"</Command>"), std::wstring::npos);
  EXPECT_EQ(definition.find(L"@OSTINEL_EXE@"), std::wstring::npos);
  EXPECT_EQ(definition.find(L"Kiosk & Co"), std::wstring::npos);
  // The rest is the definition as written: every user's logon, parallel copies, no time limit.
  EXPECT_EQ(definition.rfind(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>", 0), 0u);
  EXPECT_NE(definition.find(L"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>"), std::wstring::npos);
  EXPECT_NE(definition.find(L"<GroupId>S-1-5-32-545</GroupId>"), std::wstring::npos);
  EXPECT_NE(definition.find(L"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>"), std::wstring::npos);
  EXPECT_NE(definition.rfind(L"</Task>"), std::wstring::npos);
  // A path that holds the placeholder's text is put in once, not again into itself.
  EXPECT_NE(LogonTaskDefinition(L"C:\\@OSTINEL_EXE@\\Ostinel.exe").find(L"<Command>\"C:\\@OSTINEL_EXE@\\Ostinel.exe\"<"),
            std::wstring::npos);
}

TEST(OpenerMessages, OneTextPerLanguageEnglishOtherwise) {
  const OpenerMessage traditional = NotRunningMessage(0), simplified = NotRunningMessage(1),
                      english = NotRunningMessage(2);
  for (const OpenerMessage& m : {traditional, simplified, english}) {
    ASSERT_NE(m.Caption, nullptr);
    ASSERT_NE(m.Text, nullptr);
    EXPECT_NE(std::wstring(m.Caption), L"");
    EXPECT_NE(std::wstring(m.Text).find(L"Ostinel"), std::wstring::npos);
  }
  EXPECT_NE(std::wstring(traditional.Text), simplified.Text);
  EXPECT_NE(std::wstring(traditional.Text), english.Text);
  EXPECT_NE(std::wstring(simplified.Text), english.Text);
  EXPECT_NE(std::wstring(traditional.Caption), simplified.Caption);
  // Traditional 執行 and 設定 against Simplified 运行 and 设置.
  EXPECT_NE(std::wstring(traditional.Text).find(L"\u57F7\u884C"), std::wstring::npos);
  EXPECT_NE(std::wstring(traditional.Caption).find(L"\u8A2D\u5B9A"), std::wstring::npos);
  EXPECT_NE(std::wstring(simplified.Text).find(L"\u8FD0\u884C"), std::wstring::npos);
  EXPECT_NE(std::wstring(simplified.Caption).find(L"\u8BBE\u7F6E"), std::wstring::npos);
  // Every language of the table reaches its own text.
  const auto languages = InterfaceLanguages();
  std::set<std::wstring> texts;
  for (std::size_t mode = 0; mode < languages.size(); ++mode) {
    EXPECT_STREQ(NotRunningMessage(static_cast<std::int32_t>(mode)).Text, languages[mode].Texts->OpenerNotRunning);
    texts.insert(NotRunningMessage(static_cast<std::int32_t>(mode)).Text);
  }
  EXPECT_EQ(texts.size(), languages.size());
  for (std::int32_t other : {static_cast<std::int32_t>(languages.size()), -1, 100}) {
    EXPECT_STREQ(NotRunningMessage(other).Text, english.Text);
    EXPECT_STREQ(NotRunningMessage(other).Caption, english.Caption);
  }
}


TEST(OpenerMessages, NotReachedSaysTheUtilityRunsButDidNotAnswerInEachLanguage) {
  const std::int32_t count = static_cast<std::int32_t>(InterfaceLanguages().size());
  for (std::int32_t mode = 0; mode < count; ++mode) {
    const OpenerMessage reached = NotReachedMessage(mode), running = NotRunningMessage(mode);
    ASSERT_NE(reached.Text, nullptr);
    EXPECT_STREQ(reached.Caption, running.Caption) << mode;  // the same program speaking
    EXPECT_STRNE(reached.Text, running.Text) << mode;
    EXPECT_NE(std::wstring(reached.Text).find(L"Ostinel"), std::wstring::npos);
  }
  EXPECT_NE(std::wstring(NotReachedMessage(2).Text).find(L"did not answer"), std::wstring::npos);
  // Traditional 回應 and 執行 against Simplified 响应 and 运行.
  EXPECT_NE(std::wstring(NotReachedMessage(0).Text).find(L"\u56DE\u61C9"), std::wstring::npos);
  EXPECT_NE(std::wstring(NotReachedMessage(0).Text).find(L"\u57F7\u884C"), std::wstring::npos);
  EXPECT_NE(std::wstring(NotReachedMessage(1).Text).find(L"\u54CD\u5E94"), std::wstring::npos);
  EXPECT_NE(std::wstring(NotReachedMessage(1).Text).find(L"\u8FD0\u884C"), std::wstring::npos);
  for (std::int32_t other : {count, -1}) EXPECT_STREQ(NotReachedMessage(other).Text, NotReachedMessage(2).Text);
}

}  // namespace
