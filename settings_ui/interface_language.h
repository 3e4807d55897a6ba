// The three interface languages and the texts each one puts on the windows.
#pragma once

#include <array>
#include <cstdint>

#include "core/app_state.h"

// Mode for the abbreviated language name of the system locale: "CHS" Simplified Chinese, "CHT"
// Traditional Chinese, anything else English. Only the first three characters count, case and all.
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
};

// Texts of a mode (0, 1 or 2). Mode 0 is what the dialog resources hold; any other mode value
// gives nullptr.
const LanguageTexts* TextsForLanguage(std::int32_t mode);

// The language's share of the state record: UnitText (English only) and ExitCaption, as bounded
// copies. Mode 0, or a mode without texts, leaves both as they are.
void ApplyLanguageToState(AppStateRecord& state);
