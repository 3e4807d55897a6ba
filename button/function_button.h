// The floating function button that arms the next touch as a right click.
#pragma once

#include <cstdint>

// Creates the (hidden) function button owned by the main window; stores AppState.ButtonWindow.
void CreateButtonWindow();

// Shows the button when the feature word has the function-button method, hides it otherwise.
// Does nothing while the button window does not exist.
void ApplyButtonVisibility(std::uint32_t buttonSetup);

// Any thread: repaint the button after its state changed elsewhere (the once-only disarm).
void RepaintButtonWindow();

// What screen readers say for the button, in the interface language: its name and the words for
// its three states. Set by start-up; the texts must live as long as the program.
struct ButtonAccessibleTexts {
  const wchar_t* Name;
  const wchar_t* Idle;
  const wchar_t* Armed;
  const wchar_t* MoveMode;
};
void SetButtonAccessibleTexts(const ButtonAccessibleTexts& texts);
