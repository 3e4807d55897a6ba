#include "language/interface_language.h"

#include <string_view>

#include "core/bounded_text.h"
#include "res/resource_ids.h"

namespace {

constexpr LanguageTexts kTraditional = {
    L"Vemto \u89F8\u63A7\u5C4F\u8A2D\u5B9A\u7A0B\u5E8F",  // Vemto 觸控屏設定程序
    {{
        {IDC_METHOD_NONE, L"\u7121"},                                           // 無
        {IDC_METHOD_BUTTON, L"\u53F3\u9375\u529F\u80FD\u6309\u9215\u65B9\u5F0F"},  // 右鍵功能按鈕方式
        {IDC_METHOD_HOLD, L"\u6309\u4F4F\u4E14\u4E0D\u79FB\u52D5\u65B9\u5F0F"},    // 按住且不移動方式
        {IDC_GROUP_METHOD, L"\u53F3\u9375\u6A21\u64EC\u555F\u52D5\u65B9\u5F0F"},   // 右鍵模擬啟動方式
        {IDC_GROUP_BUTTON, L"\u53F3\u9375\u529F\u80FD\u6309\u9215\u65B9\u5F0F"},   // 右鍵功能按鈕方式
        {IDC_GROUP_HOLD, L"\u6309\u4F4F\u4E14\u4E0D\u79FB\u52D5\u65B9\u5F0F"},     // 按住且不移動方式
        {IDC_ONCE_ONLY, L"\u53F3\u9375\u53EA\u4F5C\u7528\u4E00\u6B21"},            // 右鍵只作用一次
        {IDC_WAIT_CAPTION, L"\u53F3\u9375\u6309\u4F4F\u555F\u52D5\u6642\u9593"},   // 右鍵按住啟動時間
        {IDC_LEFT_SOUND, L"\u5DE6\u9375\u8072\u97F3\u63D0\u793A"},                 // 左鍵聲音提示
        {IDC_RIGHT_SOUND, L"\u53F3\u9375\u8072\u97F3\u63D0\u793A"},                // 右鍵聲音提示
        {IDC_RIGHT_FLASH, L"\u53F3\u9375\u52D5\u756B\u63D0\u793A"},                // 右鍵動畫提示
        {1, L"\u78BA\u5B9A"},                                                     // 確定
        {2, L"\u53D6\u6D88"},                                                     // 取消
        // 某些設定由您的組織管理。
        {IDC_MANAGED_NOTE, L"\u67D0\u4E9B\u8A2D\u5B9A\u7531\u60A8\u7684\u7D44\u7E54\u7BA1\u7406\u3002"},
    }},
    L"\u95DC\u9589",  // 關閉
    L"\u79D2",        // 秒
    L"\u7D50\u675F",  // 結束
    // 設定已生效，直到程式結束為止，但無法儲存。
    L"\u8A2D\u5B9A\u5DF2\u751F\u6548\uFF0C\u76F4\u5230\u7A0B\u5F0F\u7D50\u675F\u70BA\u6B62\uFF0C"
    L"\u4F46\u7121\u6CD5\u5132\u5B58\u3002",
    L"\u53F3\u9375\u529F\u80FD\u6309\u9215",  // 右鍵功能按鈕
    L"\u672A\u555F\u7528",                  // 未啟用
    // 已啟用：下一次觸控為右鍵
    L"\u5DF2\u555F\u7528\uFF1A\u4E0B\u4E00\u6B21\u89F8\u63A7\u70BA\u53F3\u9375",
    // 移動模式：拖曳按鈕即可移動
    L"\u79FB\u52D5\u6A21\u5F0F\uFF1A\u62D6\u66F3\u6309\u9215\u5373\u53EF\u79FB\u52D5",
    L"\u555F\u7528",  // 啟用
    L"Ostinel \u8A2D\u5B9A",  // Ostinel 設定
    // Ostinel 沒有在執行，無法開啟設定。請先啟動 Ostinel。
    L"Ostinel \u6C92\u6709\u5728\u57F7\u884C\uFF0C\u7121\u6CD5\u958B\u555F\u8A2D\u5B9A\u3002"
    L"\u8ACB\u5148\u555F\u52D5 Ostinel\u3002",
    // Ostinel 正在執行，但沒有回應，無法開啟設定。請稍後再試，或重新啟動 Ostinel。
    L"Ostinel \u6B63\u5728\u57F7\u884C\uFF0C\u4F46\u6C92\u6709\u56DE\u61C9\uFF0C"
    L"\u7121\u6CD5\u958B\u555F\u8A2D\u5B9A\u3002"
    L"\u8ACB\u7A0D\u5F8C\u518D\u8A66\uFF0C\u6216\u91CD\u65B0\u555F\u52D5 Ostinel\u3002",
};

constexpr LanguageTexts kSimplified = {
    L"Vemto \u89E6\u63A7\u5C4F\u8BBE\u5B9A\u7A0B\u5E8F",  // Vemto 触控屏设定程序
    {{
        {IDC_METHOD_NONE, L"\u65E0"},                                           // 无
        {IDC_METHOD_BUTTON, L"\u53F3\u952E\u529F\u80FD\u6309\u94AE\u65B9\u5F0F"},  // 右键功能按钮方式
        {IDC_METHOD_HOLD, L"\u6309\u4F4F\u4E14\u4E0D\u79FB\u52A8\u65B9\u5F0F"},    // 按住且不移动方式
        {IDC_GROUP_METHOD, L"\u53F3\u952E\u6A21\u62DF\u542F\u52A8\u65B9\u5F0F"},   // 右键模拟启动方式
        {IDC_GROUP_BUTTON, L"\u53F3\u952E\u529F\u80FD\u6309\u94AE\u65B9\u5F0F"},   // 右键功能按钮方式
        {IDC_GROUP_HOLD, L"\u6309\u4F4F\u4E14\u4E0D\u79FB\u52A8\u65B9\u5F0F"},     // 按住且不移动方式
        {IDC_ONCE_ONLY, L"\u53F3\u952E\u53EA\u4F5C\u7528\u4E00\u6B21"},            // 右键只作用一次
        {IDC_WAIT_CAPTION, L"\u53F3\u952E\u6309\u4F4F\u542F\u52A8\u65F6\u95F4"},   // 右键按住启动时间
        {IDC_LEFT_SOUND, L"\u5DE6\u952E\u58F0\u97F3\u63D0\u793A"},                 // 左键声音提示
        {IDC_RIGHT_SOUND, L"\u53F3\u952E\u58F0\u97F3\u63D0\u793A"},                // 右键声音提示
        {IDC_RIGHT_FLASH, L"\u53F3\u952E\u52A8\u753B\u63D0\u793A"},                // 右键动画提示
        {1, L"\u786E\u8BA4"},                                                     // 确认
        {2, L"\u53D6\u6D88"},                                                     // 取消
        // 某些设置由你的组织管理。
        {IDC_MANAGED_NOTE, L"\u67D0\u4E9B\u8BBE\u7F6E\u7531\u4F60\u7684\u7EC4\u7EC7\u7BA1\u7406\u3002"},
    }},
    L"\u5173\u95ED",  // 关闭
    nullptr,          // the unit word stays 秒
    L"\u7ED3\u675F",  // 结束
    // 设定已生效，直到程序结束为止，但无法保存。
    L"\u8BBE\u5B9A\u5DF2\u751F\u6548\uFF0C\u76F4\u5230\u7A0B\u5E8F\u7ED3\u675F\u4E3A\u6B62\uFF0C"
    L"\u4F46\u65E0\u6CD5\u4FDD\u5B58\u3002",
    L"\u53F3\u952E\u529F\u80FD\u6309\u94AE",  // 右键功能按钮
    L"\u672A\u542F\u7528",                  // 未启用
    // 已启用：下一次触控为右键
    L"\u5DF2\u542F\u7528\uFF1A\u4E0B\u4E00\u6B21\u89E6\u63A7\u4E3A\u53F3\u952E",
    // 移动模式：拖动按钮即可移动
    L"\u79FB\u52A8\u6A21\u5F0F\uFF1A\u62D6\u52A8\u6309\u94AE\u5373\u53EF\u79FB\u52A8",
    L"\u542F\u7528",  // 启用
    L"Ostinel \u8BBE\u7F6E",  // Ostinel 设置
    // Ostinel 没有在运行，无法打开设置。请先启动 Ostinel。
    L"Ostinel \u6CA1\u6709\u5728\u8FD0\u884C\uFF0C\u65E0\u6CD5\u6253\u5F00\u8BBE\u7F6E\u3002"
    L"\u8BF7\u5148\u542F\u52A8 Ostinel\u3002",
    // Ostinel 正在运行，但没有响应，无法打开设置。请稍后再试，或重新启动 Ostinel。
    L"Ostinel \u6B63\u5728\u8FD0\u884C\uFF0C\u4F46\u6CA1\u6709\u54CD\u5E94\uFF0C"
    L"\u65E0\u6CD5\u6253\u5F00\u8BBE\u7F6E\u3002"
    L"\u8BF7\u7A0D\u540E\u518D\u8BD5\uFF0C\u6216\u91CD\u65B0\u542F\u52A8 Ostinel\u3002",
};

constexpr LanguageTexts kEnglish = {
    L"Vemto Touch Screen Program Setting",
    {{
        {IDC_METHOD_NONE, L"Null"},
        {IDC_METHOD_BUTTON, L"Right-click function button"},
        {IDC_METHOD_HOLD, L"Keep pressing still"},
        {IDC_GROUP_METHOD, L"Right-click startup simulation method"},
        {IDC_GROUP_BUTTON, L"Right-click function button method"},
        {IDC_GROUP_HOLD, L"Keep pressing still method"},
        {IDC_ONCE_ONLY, L"Right-click performs once only"},
        {IDC_WAIT_CAPTION, L"Right-click pressing time"},
        {IDC_LEFT_SOUND, L"Left-click sound"},
        {IDC_RIGHT_SOUND, L"Right-click sound"},
        {IDC_RIGHT_FLASH, L"Right-click flash"},
        {1, L"OK"},
        {2, L"Cancle"},
        {IDC_MANAGED_NOTE, L"Some settings are managed by your organization."},
    }},
    L"Close",
    L"sec",
    L"Exit",
    L"The settings are in force until the program ends, but they could not be saved.",
    L"Right-click function button",
    L"Not armed",
    L"Armed: the next touch is a right click",
    L"Move mode: drag the button to move it",
    L"Arm",
    L"Ostinel Settings",
    L"Ostinel is not running, so its settings cannot be opened. Start Ostinel first.",
    L"Ostinel is running but did not answer, so its settings cannot be opened. Try again in a moment, "
    L"or restart Ostinel.",
};

// The interface languages, in LanguageMode order. One row each; installer/table_lists.cpp writes the
// build's lists of languages from them, check_languages.py reads the rows as written here.
constexpr std::array<InterfaceLanguage, 3> kLanguages = {{
    {"zh-TW", "Traditional Chinese", {L"CHT"}, 0x0404, "ChineseTraditional", "TradChinese", true, &kTraditional},
    {"zh-CN", "Simplified Chinese", {L"CHS"}, 0x0804, "ChineseSimplified", "SimpChinese", false, &kSimplified},
    {"en-US", "English", {}, 0x0409, "English", "English", false, &kEnglish},
}};

// The constants in core/app_state.h name these rows.
static_assert(std::string_view(kLanguages[LANGUAGE_TRADITIONAL_CHINESE].Code) == "zh-TW");
static_assert(std::string_view(kLanguages[LANGUAGE_SIMPLIFIED_CHINESE].Code) == "zh-CN");
static_assert(std::string_view(kLanguages[LANGUAGE_ENGLISH].Code) == "en-US");

void CopyBounded(std::span<wchar_t> dest, const wchar_t* text) {
  dest[0] = L'\0';
  AppendBounded(dest, text);
}

}  // namespace

std::span<const InterfaceLanguage> InterfaceLanguages() { return kLanguages; }

const InterfaceLanguage* LanguageOfMode(std::int32_t mode) {
  if (mode < 0 || static_cast<std::size_t>(mode) >= kLanguages.size()) return nullptr;
  return &kLanguages[static_cast<std::size_t>(mode)];
}

const InterfaceLanguage& FallbackLanguage() {
  for (const InterfaceLanguage& language : kLanguages) {
    if (!language.Locales[0]) return language;
  }
  return kLanguages[LANGUAGE_ENGLISH];
}

std::int32_t LanguageModeFromAbbreviation(const wchar_t* abbreviation) {
  const auto startsWith = [abbreviation](const wchar_t* prefix) {
    for (int i = 0; i < 3; ++i) {
      if (abbreviation[i] != prefix[i]) return false;
    }
    return true;
  };
  for (std::size_t mode = 0; mode < kLanguages.size(); ++mode) {
    for (const wchar_t* locale : kLanguages[mode].Locales) {
      if (locale && startsWith(locale)) return static_cast<std::int32_t>(mode);
    }
  }
  return static_cast<std::int32_t>(&FallbackLanguage() - kLanguages.data());
}

const LanguageTexts* TextsForLanguage(std::int32_t mode) {
  const InterfaceLanguage* language = LanguageOfMode(mode);
  return language ? language->Texts : nullptr;
}

void ApplyLanguageToState(AppStateRecord& state) {
  const InterfaceLanguage* language = LanguageOfMode(state.LanguageMode);
  if (!language || language->InDialogResources) return;
  const LanguageTexts* texts = language->Texts;
  if (texts->UnitText) CopyBounded(state.UnitText, texts->UnitText);
  CopyBounded(state.ExitCaption, texts->ExitCaption);
}
