// Choosing the interface language at start and putting its texts on the windows.
#pragma once

// Sets AppState.LanguageMode from the abbreviated language name of the system's default locale.
// Runs first thing, before any window exists.
void DetectLanguage();

// Puts the language's texts on the settings dialog and the status window's button and sets
// UnitText and ExitCaption. Traditional Chinese keeps the resource texts. Runs once, when both
// windows exist.
void ApplyLanguage();
