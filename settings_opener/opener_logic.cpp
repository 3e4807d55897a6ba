#include "settings_opener/opener_logic.h"

#include "language/interface_language.h"
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

// The texts of a mode; a mode without a row gets those of every other locale.
const LanguageTexts& OpenerTexts(std::int32_t languageMode) {
  const InterfaceLanguage* language = LanguageOfMode(languageMode);
  return *(language ? language : &FallbackLanguage())->Texts;
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
  const bool diagnose = SpellsSwitch(begin + 1, end, L"diagnose");
  const bool checkFolder = SpellsSwitch(begin + 1, end, L"check-install-folder");
  const bool lockFolder = SpellsSwitch(begin + 1, end, L"lock-install-folder");
  if (diagnose || checkFolder || lockFolder) {
    std::wstring operand;
    if (begin != arguments && begin[-1] == L'"' && *rest == L'"') ++rest;  // the switch's own closing quote
    while (IsBlank(*rest)) ++rest;
    const wchar_t* fileEnd = rest;
    if (*rest == L'"') {
      ++rest;
      fileEnd = rest;
      while (*fileEnd != L'\0' && *fileEnd != L'"') ++fileEnd;
      if (*fileEnd != L'"' || fileEnd == rest) return command;  // unclosed or empty
      operand.assign(rest, fileEnd);
      ++fileEnd;
    } else {
      while (*fileEnd != L'\0' && !IsBlank(*fileEnd)) ++fileEnd;
      if (*rest == L'/' || *rest == L'-') return command;  // a second switch, not a file
      operand.assign(rest, fileEnd);
    }
    while (IsBlank(*fileEnd)) ++fileEnd;
    if (*fileEnd != L'\0') return command;
    if (diagnose) {
      command.ReportFile = operand;
      command.Action = OPENER_DIAGNOSE;
    } else if (!operand.empty()) {  // the folder is required
      command.InstallFolder = operand;
      command.Action = checkFolder ? OPENER_CHECK_INSTALL_FOLDER : OPENER_LOCK_INSTALL_FOLDER;
    }
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
  const LanguageTexts& texts = OpenerTexts(languageMode);
  return {texts.OpenerCaption, texts.OpenerNotRunning};
}

OpenerMessage NotReachedMessage(std::int32_t languageMode) {
  const LanguageTexts& texts = OpenerTexts(languageMode);
  return {texts.OpenerCaption, texts.OpenerNotReached};
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
