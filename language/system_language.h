// The interface language the system chooses: the one of the system's default locale.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "language/interface_language.h"

// LanguageMode for the abbreviated language name of the system's default locale; a failed query
// reads as an empty name, which gives the language of every other locale.
inline std::int32_t SystemLanguageMode() {
  std::array<wchar_t, 16> abbreviation{};
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation.data(),
                 static_cast<int>(abbreviation.size()));
  return LanguageModeFromAbbreviation(abbreviation.data());
}
