#include "settings_opener/opener_logic.h"

#include "core/app_state.h"
#include "logon_task_template.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Whether [begin, end) spells name (lower case), ASCII letters compared without case.
bool SpellsSwitch(const wchar_t* begin, const wchar_t* end, const wchar_t* name) {
  for (; begin != end; ++begin, ++name) {
    if (*name == L'\0' || FoldAscii(*begin) != *name) return false;
  }
  return *name == L'\0';
}

}  // namespace

OpenerAction OpenerActionFromArguments(const wchar_t* arguments) { return OpenerCommandFromArguments(arguments).Action; }

OpenerCommand OpenerCommandFromArguments(const wchar_t* arguments) {
  OpenerCommand command;
  if (arguments == nullptr) {
    command.Action = OPENER_OPEN_SETTINGS;
    return command;
  }
  const wchar_t* begin = arguments;
  while (IsBlank(*begin) || *begin == L'"') ++begin;
  if (*begin == L'\0') {
    command.Action = OPENER_OPEN_SETTINGS;
    return command;
  }
  const wchar_t* end = begin;
  while (*end != L'\0' && !IsBlank(*end) && *end != L'"') ++end;
  if (*begin != L'/' && *begin != L'-') return command;
  const wchar_t* rest = end;
  if (SpellsSwitch(begin + 1, end, L"diagnose")) {
    if (begin != arguments && begin[-1] == L'"' && *rest == L'"') ++rest;  // the switch's own closing quote
    while (IsBlank(*rest)) ++rest;
    const wchar_t* fileEnd = rest;
    if (*rest == L'"') {
      ++rest;
      fileEnd = rest;
      while (*fileEnd != L'\0' && *fileEnd != L'"') ++fileEnd;
      if (*fileEnd != L'"' || fileEnd == rest) return command;  // unclosed or empty
      command.ReportFile.assign(rest, fileEnd);
      ++fileEnd;
    } else {
      while (*fileEnd != L'\0' && !IsBlank(*fileEnd)) ++fileEnd;
      if (*rest == L'/' || *rest == L'-') return command;  // a second switch, not a file
      command.ReportFile.assign(rest, fileEnd);
    }
    while (IsBlank(*fileEnd)) ++fileEnd;
    if (*fileEnd != L'\0') return command;
    command.Action = OPENER_DIAGNOSE;
    return command;
  }
  // Nothing but blanks and quotes may follow the other switches.
  for (; *rest != L'\0'; ++rest) {
    if (!IsBlank(*rest) && *rest != L'"') return command;
  }
  if (SpellsSwitch(begin + 1, end, L"grant-settings-access")) command.Action = OPENER_GRANT_SETTINGS_ACCESS;
  if (SpellsSwitch(begin + 1, end, L"stop-utility")) command.Action = OPENER_STOP_UTILITY;
  if (SpellsSwitch(begin + 1, end, L"create-logon-task")) command.Action = OPENER_CREATE_LOGON_TASK;
  return command;
}

OpenerMessage NotRunningMessage(std::int32_t languageMode) {
  switch (languageMode) {
    case LANGUAGE_TRADITIONAL_CHINESE:
      // Ostinel 設定 / Ostinel 沒有在執行，無法開啟設定。請先啟動 Ostinel。
      return {L"Ostinel \u8A2D\u5B9A",
              L"Ostinel \u6C92\u6709\u5728\u57F7\u884C\uFF0C\u7121\u6CD5\u958B\u555F\u8A2D\u5B9A\u3002"
              L"\u8ACB\u5148\u555F\u52D5 Ostinel\u3002"};
    case LANGUAGE_SIMPLIFIED_CHINESE:
      // Ostinel 设置 / Ostinel 没有在运行，无法打开设置。请先启动 Ostinel。
      return {L"Ostinel \u8BBE\u7F6E",
              L"Ostinel \u6CA1\u6709\u5728\u8FD0\u884C\uFF0C\u65E0\u6CD5\u6253\u5F00\u8BBE\u7F6E\u3002"
              L"\u8BF7\u5148\u542F\u52A8 Ostinel\u3002"};
    default:
      return {L"Ostinel Settings", L"Ostinel is not running, so its settings cannot be opened. Start Ostinel first."};
  }
}

OpenerMessage NotReachedMessage(std::int32_t languageMode) {
  switch (languageMode) {
    case LANGUAGE_TRADITIONAL_CHINESE:
      // Ostinel 正在執行，但沒有回應，無法開啟設定。請稍後再試，或重新啟動 Ostinel。
      return {L"Ostinel \u8A2D\u5B9A",
              L"Ostinel \u6B63\u5728\u57F7\u884C\uFF0C\u4F46\u6C92\u6709\u56DE\u61C9\uFF0C"
              L"\u7121\u6CD5\u958B\u555F\u8A2D\u5B9A\u3002"
              L"\u8ACB\u7A0D\u5F8C\u518D\u8A66\uFF0C\u6216\u91CD\u65B0\u555F\u52D5 Ostinel\u3002"};
    case LANGUAGE_SIMPLIFIED_CHINESE:
      // Ostinel 正在运行，但没有响应，无法打开设置。请稍后再试，或重新启动 Ostinel。
      return {L"Ostinel \u8BBE\u7F6E",
              L"Ostinel \u6B63\u5728\u8FD0\u884C\uFF0C\u4F46\u6CA1\u6709\u54CD\u5E94\uFF0C"
              L"\u65E0\u6CD5\u6253\u5F00\u8BBE\u7F6E\u3002"
              L"\u8BF7\u7A0D\u540E\u518D\u8BD5\uFF0C\u6216\u91CD\u65B0\u542F\u52A8 Ostinel\u3002"};
    default:
      return {L"Ostinel Settings",
              L"Ostinel is running but did not answer, so its settings cannot be opened. Try again in a moment, "
              L"or restart Ostinel."};
  }
}

std::wstring XmlEscaped(std::wstring_view text) {
  std::wstring escaped;
  escaped.reserve(text.size());
  for (const wchar_t c : text) {
    switch (c) {
      case L'&': escaped += L"&amp;"; break;
      case L'<': escaped += L"&lt;"; break;
      case L'>': escaped += L"&gt;"; break;
      case L'"': escaped += L"&quot;"; break;
      case L'\'': escaped += L"&apos;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::wstring LogonTaskDefinition(std::wstring_view programPath) {
  constexpr std::wstring_view kPlaceholder = L"@OSTINEL_EXE@";
  std::wstring definition(LOGON_TASK_TEMPLATE);
  const std::wstring program = XmlEscaped(programPath);
  for (std::size_t at = definition.find(kPlaceholder); at != std::wstring::npos;
       at = definition.find(kPlaceholder, at + program.size())) {
    definition.replace(at, kPlaceholder.size(), program);
  }
  return definition;
}
