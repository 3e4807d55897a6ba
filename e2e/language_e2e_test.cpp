// The interface language of the real program, chosen from the system locale at start.
//
// Under Wine the system locale of a process comes from the LC_ALL of its Unix environment, and a
// Windows process started by another one inherits its parent's Unix environment whatever
// environment block CreateProcessW is given. So these tests start the program through the Unix
// side: /usr/bin/env sets LC_ALL and runs wine on Ostinel.exe, which joins this test's prefix and
// server as a new Windows process.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "settings_ui/interface_language.h"

namespace {

constexpr UINT WM_OPEN_SETTINGS = WM_USER + 1;
constexpr int kStatusButton = 1;
constexpr int kLabel = 1006;

struct Language {
  const char* Name;
  const wchar_t* Locale;  // LC_ALL of the program
  std::int32_t Mode;
  const wchar_t* Title;
  const wchar_t* Ok;
  const wchar_t* Cancel;
  const wchar_t* Label;  // for the default hold time
  const wchar_t* StatusButton;
  const wchar_t* ExitButton;
};

const Language kLanguages[] = {
    {"English", L"en_US.UTF-8", 2, L"Vemto Touch Screen Program Setting", L"OK", L"Cancle", L"1.0 sec", L"Close",
     L"Exit"},
    {"Simplified", L"zh_CN.UTF-8", 1, L"Vemto 触控屏设定程序", L"确认", L"取消", L"1.0 秒", L"关闭",
     L"结束"},
    {"Traditional", L"zh_TW.UTF-8", 0, L"Vemto 觸控屏設定程序", L"確定", L"取消", L"1.0 秒", L"關閉",
     L"結束"},
};

void PrintTo(const Language& lang, std::ostream* out) { *out << lang.Name; }

constexpr wchar_t kUnixEnv[] = L"Z:\\usr\\bin\\env";

std::set<DWORD> RunningCopies() {
  std::set<DWORD> pids;
  for (HWND w = FindWindowExW(nullptr, nullptr, kMainWindowClass, nullptr); w;
       w = FindWindowExW(nullptr, w, kMainWindowClass, nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    pids.insert(pid);
  }
  return pids;
}

// A copy of the program running under a locale of its own; ended when this goes away.
struct LocaleProcess {
  DWORD Pid = 0;
  HANDLE Process = nullptr;
  LocaleProcess() = default;
  LocaleProcess(const LocaleProcess&) = delete;
  LocaleProcess& operator=(const LocaleProcess&) = delete;
  ~LocaleProcess() {
    if (!Process) return;
    TerminateProcess(Process, 97);
    WaitForSingleObject(Process, 5000);
    CloseHandle(Process);
  }
};

// Starts Ostinel.exe with LC_ALL=locale and waits for its main window, which tells its process.
void LaunchOstinelInLocale(const wchar_t* locale, LocaleProcess& launched) {
  const std::set<DWORD> before = RunningCopies();
  ASSERT_TRUE(LaunchInLocale(locale, L"Ostinel.exe"));
  DWORD pid = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (DWORD p : RunningCopies()) {
          if (!before.count(p)) pid = p;
        }
        return pid != 0;
      },
      15000));
  launched.Pid = pid;
  launched.Process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(launched.Process, nullptr);
}

class InterfaceLanguage : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override {
    if (GetFileAttributesW(kUnixEnv) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "needs Wine: the locale is set per process through LC_ALL";
    }
    EndAllOstinel();
    DeleteSettingsKey();
  }
  void TearDown() override {
    EndAllOstinel();
    DeleteSettingsKey();
  }
};

TEST_P(InterfaceLanguage, SettingsDialogAndStatusWindowSpeakTheLocalesLanguage) {
  const Language& lang = GetParam();
  LocaleProcess app;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, app));
  HWND status = WaitForStatusWindow(app.Pid);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(ControlText(status, kStatusButton), lang.StatusButton);
  EXPECT_EQ(WindowTextOf(status), kStatusTitle);  // the same in every language

  HWND dialog = FindProcessWindow(app.Pid, kDialogClass, lang.Title);
  ASSERT_NE(dialog, nullptr) << "no settings dialog titled " << Utf8(lang.Title);
  HWND main = FindProcessWindow(app.Pid, kMainWindowClass, nullptr);
  ASSERT_TRUE(PostMessageW(main, WM_OPEN_SETTINGS, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000));

  EXPECT_EQ(ControlText(dialog, IDOK), lang.Ok);
  EXPECT_EQ(ControlText(dialog, IDCANCEL), lang.Cancel);
  EXPECT_EQ(ControlText(dialog, kLabel), lang.Label);
  const LanguageTexts* texts = TextsForLanguage(lang.Mode);
  ASSERT_NE(texts, nullptr);
  for (const ControlTextEntry& control : texts->SettingsControls) {
    EXPECT_EQ(ControlText(dialog, control.Id), control.Text) << "control " << control.Id;
  }
}

TEST_P(InterfaceLanguage, FailedStartOffersTheExitButtonInTheLocalesLanguage) {
  const Language& lang = GetParam();
  LocaleProcess first;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, first));
  ASSERT_NE(WaitForStatusWindow(first.Pid), nullptr);
  LocaleProcess second;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, second));
  HWND status = WaitForStatusWindow(second.Pid);
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return ControlText(status, kStatusButton) == lang.ExitButton; }, 5000))
      << Utf8(ControlText(status, kStatusButton));
  // The first copy keeps its ordinary button.
  EXPECT_EQ(ControlText(FindProcessWindow(first.Pid, kDialogClass, kStatusTitle), kStatusButton), lang.StatusButton);
}

INSTANTIATE_TEST_SUITE_P(Locales, InterfaceLanguage, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& param) { return std::string(param.param.Name); });

// A locale whose abbreviation is neither CHS nor CHT speaks English, Chinese or not.
TEST(InterfaceLanguageOther, OtherLocalesGiveEnglish) {
  if (GetFileAttributesW(kUnixEnv) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "needs Wine";
  EndAllOstinel();
  for (const wchar_t* locale : {L"zh_HK.UTF-8", L"zh_SG.UTF-8", L"de_DE.UTF-8"}) {
    LocaleProcess app;
    ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(locale, app));
    HWND status = WaitForStatusWindow(app.Pid);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(ControlText(status, kStatusButton), L"Close") << Utf8(locale);
    EXPECT_NE(FindProcessWindow(app.Pid, kDialogClass, L"Vemto Touch Screen Program Setting"), nullptr)
        << Utf8(locale);
  }
  EndAllOstinel();
}

}  // namespace
