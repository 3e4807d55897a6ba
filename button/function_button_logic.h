// What the function button does with each input, on the state record alone (no window calls).
//
// The window glue turns the results into platform calls: which bitmap to paint, whether to start
// the single-click timer, run the move loop or repaint.
#pragma once

#include "core/app_state.h"

enum class ButtonImage { Idle, Armed, Move };

// The bitmap for the current state: move mode wins over armed, armed over idle.
ButtonImage ChooseButtonImage(const AppStateRecord& state);

enum class ButtonLeftPress {
  MoveWindow,       // run the system's move loop now, then call ButtonMoveEnded
  StartClickTimer,  // (re)start the single-click timer; the toggle waits for it
};

// Left button pressed on the button.
ButtonLeftPress ButtonLeftPressed(AppStateRecord& state);

// The move loop started by a left press in move mode has ended (moved or not): the button goes
// idle and leaves move mode. The controller is not told. Always needs a repaint.
void ButtonMoveEnded(AppStateRecord& state);

// Left double click: drop the pending single-click toggle and enter move mode. Needs a repaint.
void ButtonLeftDoubleClicked(AppStateRecord& state);

// Right button pressed: toggles at once, except in move mode. True when the state changed.
bool ButtonRightPressed(AppStateRecord& state);

// The single-click timer expired: toggles unless a double click came first. The timer is one-shot,
// the caller kills it in every case. True when the state changed.
bool ButtonClickTimerExpired(AppStateRecord& state);

// The default action a screen reader offers (Narrator's Invoke): it arms an idle button as a tap
// does, so the controller is told. An armed button, or one in move mode, offers none.
bool ButtonHasDefaultAction(const AppStateRecord& state);

// Does the default action. True when it armed the button (needs a repaint).
bool ButtonDoDefaultAction(AppStateRecord& state);
