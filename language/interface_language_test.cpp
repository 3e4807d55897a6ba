#include "language/interface_language.h"

#include <gtest/gtest.h>

#include <array>
#include <cwchar>
#include <map>
#include <set>
#include <string>

namespace {

TEST(InterfaceLanguage, ModeComesFromTheFirstThreeLettersExactly) {
  EXPECT_EQ(LanguageModeFromAbbreviation(L"CHS"), 1);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"CHT"), 0);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"CHSX"), 1);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"CHTW"), 0);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"ENU"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"chs"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"Cht"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"XHS"), 2);  // the first letter counts too
  // Other Chinese locales: Hong Kong, Singapore, Macao.
  EXPECT_EQ(LanguageModeFromAbbreviation(L"ZHH"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"ZHI"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"ZHM"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L"CH"), 2);
  EXPECT_EQ(LanguageModeFromAbbreviation(L""), 2);
}

// A language is its texts and its row: each row has every text, its locales choose it, and the
// texts reach the state record unless the dialog resources hold them.
TEST(InterfaceLanguage, EveryLanguageIsWholeAndReachable) {
  const auto languages = InterfaceLanguages();
  int fallbacks = 0, inResources = 0;
  std::set<std::string> codes, messageLanguages, installerLanguages;
  std::set<std::uint16_t> ids;
  for (std::size_t row = 0; row < languages.size(); ++row) {
    const InterfaceLanguage& language = languages[row];
    const auto mode = static_cast<std::int32_t>(row);
    SCOPED_TRACE(language.Code);
    EXPECT_EQ(LanguageOfMode(mode), &language);
    ASSERT_NE(language.Texts, nullptr);
    EXPECT_EQ(TextsForLanguage(mode), language.Texts);
    const LanguageTexts& t = *language.Texts;
    for (const wchar_t* text : {t.SettingsTitle, t.StatusButton, t.ExitCaption, t.NotSavedText, t.ButtonName,
                                t.ButtonIdle, t.ButtonArmed, t.ButtonMoveMode, t.ButtonAction, t.OpenerCaption,
                                t.OpenerNotRunning, t.OpenerNotReached}) {
      ASSERT_NE(text, nullptr);
      EXPECT_NE(text[0], L'\0');
    }
    for (const ControlTextEntry& control : t.SettingsControls) ASSERT_NE(control.Text, nullptr) << control.Id;
    // The state record holds them whole.
    EXPECT_LT(std::wcslen(t.ExitCaption), SHORT_TEXT_CAPACITY);
    if (t.UnitText) {
      EXPECT_LT(std::wcslen(t.UnitText), SHORT_TEXT_CAPACITY);
    }
    for (const wchar_t* locale : language.Locales) {
      if (locale) {
        EXPECT_EQ(LanguageModeFromAbbreviation(locale), mode);
      }
    }
    if (!language.Locales[0]) {
      ++fallbacks;
      EXPECT_EQ(&FallbackLanguage(), &language);
      EXPECT_EQ(LanguageModeFromAbbreviation(L"XYZ"), mode);
    }
    if (language.InDialogResources) {
      ++inResources;
    } else {
      AppStateRecord state;
      state.LanguageMode = mode;
      ApplyLanguageToState(state);
      EXPECT_STREQ(state.ExitCaption.data(), t.ExitCaption);
    }
    codes.insert(language.Code);
    messageLanguages.insert(language.MessageLanguage);
    installerLanguages.insert(language.InstallerLanguage);
    ids.insert(language.LangId);
  }
  EXPECT_EQ(fallbacks, 1);
  EXPECT_EQ(inResources, 1);
  for (std::size_t distinct : {codes.size(), messageLanguages.size(), installerLanguages.size(), ids.size()}) {
    EXPECT_EQ(distinct, languages.size());
  }
}

std::map<int, std::wstring> ControlMap(const LanguageTexts& t) {
  std::map<int, std::wstring> m;
  for (const auto& e : t.SettingsControls) m[e.Id] = e.Text;
  return m;
}

TEST(InterfaceLanguage, TablesSetTheControlsInTheirOrder) {
  const std::array<int, SETTINGS_TEXT_CONTROLS> order = {1009, 1010, 1011, 1012, 1013, 1014, 1003, -1, 1000, 1001, 1002, 1, 2, 1015};
  for (std::int32_t mode : {0, 1, 2}) {
    const LanguageTexts* t = TextsForLanguage(mode);
    ASSERT_NE(t, nullptr);
    for (std::size_t i = 0; i < SETTINGS_TEXT_CONTROLS; ++i) EXPECT_EQ(t->SettingsControls[i].Id, order[i]);
  }
  EXPECT_EQ(TextsForLanguage(static_cast<std::int32_t>(InterfaceLanguages().size())), nullptr);
  EXPECT_EQ(TextsForLanguage(-1), nullptr);
}

TEST(InterfaceLanguage, EnglishTexts) {
  const LanguageTexts& t = *TextsForLanguage(2);
  EXPECT_STREQ(t.SettingsTitle, L"Vemto Touch Screen Program Setting");
  const auto m = ControlMap(t);
  EXPECT_EQ(m.at(1009), L"Null");
  EXPECT_EQ(m.at(1010), L"Right-click function button");
  EXPECT_EQ(m.at(1011), L"Keep pressing still");
  EXPECT_EQ(m.at(1012), L"Right-click startup simulation method");
  EXPECT_EQ(m.at(1013), L"Right-click function button method");
  EXPECT_EQ(m.at(1014), L"Keep pressing still method");
  EXPECT_EQ(m.at(1003), L"Right-click performs once only");
  EXPECT_EQ(m.at(-1), L"Right-click pressing time");
  EXPECT_EQ(m.at(1000), L"Left-click sound");
  EXPECT_EQ(m.at(1001), L"Right-click sound");
  EXPECT_EQ(m.at(1002), L"Right-click flash");
  EXPECT_EQ(m.at(1), L"OK");
  EXPECT_EQ(m.at(2), L"Cancle");
  EXPECT_EQ(m.at(1015), L"Some settings are managed by your organization.");
  EXPECT_STREQ(t.StatusButton, L"Close");
  EXPECT_STREQ(t.UnitText, L"sec");
  EXPECT_STREQ(t.ExitCaption, L"Exit");
}

TEST(InterfaceLanguage, SimplifiedChineseTexts) {
  const LanguageTexts& t = *TextsForLanguage(1);
  EXPECT_STREQ(t.SettingsTitle, L"Vemto 触控屏设定程序");
  const auto m = ControlMap(t);
  EXPECT_EQ(m.at(1009), L"无");
  EXPECT_EQ(m.at(1010), L"右键功能按钮方式");
  EXPECT_EQ(m.at(1011), L"按住且不移动方式");
  EXPECT_EQ(m.at(1012), L"右键模拟启动方式");
  EXPECT_EQ(m.at(1013), L"右键功能按钮方式");
  EXPECT_EQ(m.at(1014), L"按住且不移动方式");
  EXPECT_EQ(m.at(1003), L"右键只作用一次");
  EXPECT_EQ(m.at(-1), L"右键按住启动时间");
  EXPECT_EQ(m.at(1000), L"左键声音提示");
  EXPECT_EQ(m.at(1001), L"右键声音提示");
  EXPECT_EQ(m.at(1002), L"右键动画提示");
  EXPECT_EQ(m.at(1), L"确认");
  EXPECT_EQ(m.at(2), L"取消");
  EXPECT_EQ(m.at(1015), L"某些设置由你的组织管理。");
  EXPECT_STREQ(t.StatusButton, L"关闭");
  EXPECT_EQ(t.UnitText, nullptr);
  EXPECT_STREQ(t.ExitCaption, L"结束");
}

TEST(InterfaceLanguage, TraditionalChineseTextsAreTheResourceTexts) {
  const LanguageTexts& t = *TextsForLanguage(0);
  EXPECT_STREQ(t.SettingsTitle, L"Vemto 觸控屏設定程序");
  const auto m = ControlMap(t);
  EXPECT_EQ(m.at(1009), L"無");
  EXPECT_EQ(m.at(1010), L"右鍵功能按鈕方式");
  EXPECT_EQ(m.at(1011), L"按住且不移動方式");
  EXPECT_EQ(m.at(1012), L"右鍵模擬啟動方式");
  EXPECT_EQ(m.at(1013), L"右鍵功能按鈕方式");
  EXPECT_EQ(m.at(1014), L"按住且不移動方式");
  EXPECT_EQ(m.at(1003), L"右鍵只作用一次");
  EXPECT_EQ(m.at(-1), L"右鍵按住啟動時間");
  EXPECT_EQ(m.at(1000), L"左鍵聲音提示");
  EXPECT_EQ(m.at(1001), L"右鍵聲音提示");
  EXPECT_EQ(m.at(1002), L"右鍵動畫提示");
  EXPECT_EQ(m.at(1), L"確定");
  EXPECT_EQ(m.at(2), L"取消");
  EXPECT_EQ(m.at(1015), L"某些設定由您的組織管理。");
  EXPECT_STREQ(t.StatusButton, L"關閉");
  EXPECT_STREQ(t.UnitText, L"秒");
  EXPECT_STREQ(t.ExitCaption, L"結束");
}

// What screen readers say of the function button exists in every language, its default action
// included (a missing one leaves Narrator's Invoke without a name).
TEST(InterfaceLanguage, FunctionButtonTextsInEveryLanguage) {
  const wchar_t* actions[] = {L"啟用", L"启用", L"Arm"};
  for (std::int32_t mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    const LanguageTexts& t = *TextsForLanguage(mode);
    for (const wchar_t* text : {t.ButtonName, t.ButtonIdle, t.ButtonArmed, t.ButtonMoveMode, t.ButtonAction}) {
      ASSERT_NE(text, nullptr);
      EXPECT_NE(text[0], L'\0');
    }
    EXPECT_STREQ(t.ButtonAction, actions[mode]);
  }
}

TEST(InterfaceLanguage, StateTextsPerMode) {
  AppStateRecord english;
  english.LanguageMode = 2;
  english.UnitText.fill(L'#');
  english.ExitCaption.fill(L'#');
  ApplyLanguageToState(english);
  EXPECT_STREQ(english.UnitText.data(), L"sec");
  EXPECT_STREQ(english.ExitCaption.data(), L"Exit");  // four letters and the terminator: exactly full
  EXPECT_EQ(english.ExitCaption[4], L'\0');

  AppStateRecord simplified;
  simplified.LanguageMode = 1;
  ApplyLanguageToState(simplified);
  EXPECT_STREQ(simplified.UnitText.data(), L"秒");
  EXPECT_STREQ(simplified.ExitCaption.data(), L"结束");

  AppStateRecord traditional;
  traditional.LanguageMode = 0;
  traditional.UnitText = {L'x', 0};
  ApplyLanguageToState(traditional);
  EXPECT_STREQ(traditional.UnitText.data(), L"x");  // mode 0 touches nothing
  EXPECT_STREQ(traditional.ExitCaption.data(), L"結束");

  AppStateRecord unknown;
  unknown.LanguageMode = 7;
  ApplyLanguageToState(unknown);
  EXPECT_STREQ(unknown.UnitText.data(), L"秒");
  EXPECT_STREQ(unknown.ExitCaption.data(), L"結束");
}

}  // namespace
