#include "app/restart_rule.h"

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

bool IsRestartCommandLine(const wchar_t* commandLine) {
  if (!commandLine) return false;
  const wchar_t* at = commandLine;
  // The program's path, as Windows splits it: up to the closing quote, or to the first blank.
  if (*at == L'"') {
    ++at;
    while (*at && *at != L'"') ++at;
    if (*at) ++at;
  } else {
    while (*at && !IsBlank(*at)) ++at;
  }
  while (IsBlank(*at)) ++at;
  const std::size_t length = std::wcslen(RESTART_ARGUMENT);
  if (std::wcsncmp(at, RESTART_ARGUMENT, length) != 0) return false;
  at += length;
  while (IsBlank(*at)) ++at;
  return *at == L'\0';
}

RestartCall DecideRestartCall(RestartMoment moment, bool startFailed) {
  if (startFailed) return RestartCall::None;  // never registered, so nothing to withdraw either
  return moment == RestartMoment::SessionEnding ? RestartCall::Withdraw : RestartCall::Register;
}
