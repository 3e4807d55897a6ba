// Choosing the interface language at start and putting its texts on the windows.
#pragma once

// Sets AppState.LanguageMode from the abbreviated language name of the system's default locale.
// Runs first thing, before any window exists.
void DetectLanguage();

// Puts the language's texts on the settings dialog and the status window's button and sets
// UnitText and ExitCaption. Traditional Chinese keeps the resource texts. Then widens either window
// where a text of its language would be cut off at the window's scale. Runs once, when both
// windows exist.
void ApplyLanguage();
