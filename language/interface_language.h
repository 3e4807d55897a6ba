// The interface languages: the table that names each one wherever it must appear, and the texts
// each one puts on the windows.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/app_state.h"

// Mode (the row of the language table) for the abbreviated language name of the system locale: the
// language that names it ("CHS" Simplified Chinese, "CHT" Traditional Chinese), otherwise the one
// for every other locale (English). Only the first three characters count, case and all.
std::int32_t LanguageModeFromAbbreviation(const wchar_t* abbreviation);

struct ControlTextEntry {
  int Id;
  const wchar_t* Text;
};

constexpr std::size_t SETTINGS_TEXT_CONTROLS = 14;

struct LanguageTexts {
  const wchar_t* SettingsTitle;
  // Settings dialog controls, in the order they are set.
  std::array<ControlTextEntry, SETTINGS_TEXT_CONTROLS> SettingsControls;
  const wchar_t* StatusButton;  // status window, control 1
  const wchar_t* UnitText;      // nullptr: UnitText keeps its value
  const wchar_t* ExitCaption;
  const wchar_t* NotSavedText;  // OK could not store the settings; they act until the program ends
  // The function button as screen readers name it, its three states, and its default action.
  const wchar_t* ButtonName;
  const wchar_t* ButtonIdle;
  const wchar_t* ButtonArmed;
  const wchar_t* ButtonMoveMode;
  const wchar_t* ButtonAction;
  // OstinelSettings.exe's message box when the utility is not running, or does not answer.
  const wchar_t* OpenerCaption;
  const wchar_t* OpenerNotRunning;
  const wchar_t* OpenerNotReached;
};

// One interface language as everything outside its texts names it. Its place in the table is its
// LanguageMode. The build writes every list of languages from the rows (installer/table_lists.cpp);
// language/check_languages.py checks that each row has its translated texts in the message table,
// the templates, the setup and the winget manifests, and its pictures.
struct InterfaceLanguage {
  const char* Code;  // its tag, and the folder of its Ostinel.adml in policy/ and in the installers
  const char* Name;  // in English, as the README and the pictures name it
  // Abbreviated language names of the system locales that choose it; none: every locale that no
  // other language takes (exactly one language).
  std::array<const wchar_t*, 4> Locales;
  std::uint16_t LangId;           // its texts in the message table (MAKELANGID)
  const char* MessageLanguage;    // its name in res/event_messages.mc
  const char* InstallerLanguage;  // the NSIS language of OstinelSetup.exe
  bool InDialogResources;         // the dialog templates hold its texts: nothing to put on them
  const LanguageTexts* Texts;
};

// The table, in LanguageMode order.
std::span<const InterfaceLanguage> InterfaceLanguages();

// The row of a mode; nullptr for a mode without one.
const InterfaceLanguage* LanguageOfMode(std::int32_t mode);

// The language of every locale that no other language takes.
const InterfaceLanguage& FallbackLanguage();

// Texts of a mode (a row of the table; 0 is what the dialog resources hold); any other mode value
// gives nullptr.
const LanguageTexts* TextsForLanguage(std::int32_t mode);

// The language's share of the state record: UnitText (English only) and ExitCaption, as bounded
// copies. The language of the dialog resources (mode 0), or a mode without a row, leaves both as
// they are.
void ApplyLanguageToState(AppStateRecord& state);
