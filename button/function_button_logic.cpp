#include "button/function_button_logic.h"

#include "core/command_handover.h"

ButtonImage ChooseButtonImage(const AppStateRecord& state) {
  if (state.ButtonMoveMode != 0) return ButtonImage::Move;
  if (state.ButtonActive.load(std::memory_order_acquire) != 0) return ButtonImage::Armed;
  return ButtonImage::Idle;
}

ButtonLeftPress ButtonLeftPressed(AppStateRecord& state) {
  if (state.ButtonMoveMode != 0) return ButtonLeftPress::MoveWindow;
  state.ButtonDoubleClicked = 0;
  return ButtonLeftPress::StartClickTimer;
}

void ButtonMoveEnded(AppStateRecord& state) {
  ClearButtonActiveAfterMove(state);
  state.ButtonMoveMode = 0;
}

void ButtonLeftDoubleClicked(AppStateRecord& state) {
  state.ButtonDoubleClicked = 1;
  state.ButtonMoveMode = 1;
}

bool ButtonRightPressed(AppStateRecord& state) {
  if (state.ButtonMoveMode != 0) return false;
  ToggleButtonActive(state);
  return true;
}

bool ButtonClickTimerExpired(AppStateRecord& state) {
  if (state.ButtonDoubleClicked != 0) return false;
  ToggleButtonActive(state);
  return true;
}

bool ButtonHasDefaultAction(const AppStateRecord& state) {
  return state.ButtonMoveMode == 0 && state.ButtonActive.load(std::memory_order_acquire) == 0;
}

bool ButtonDoDefaultAction(AppStateRecord& state) {
  if (!ButtonHasDefaultAction(state)) return false;
  ToggleButtonActive(state);
  return true;
}
