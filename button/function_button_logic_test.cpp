#include "button/function_button_logic.h"

#include <gtest/gtest.h>

#include "core/command_handover.h"

namespace {

// A left click as the window sees it when the system does not make it a double click.
void SingleLeftClick(AppStateRecord& s) { EXPECT_EQ(ButtonLeftPressed(s), ButtonLeftPress::StartClickTimer); }

}  // namespace

TEST(FunctionButtonLogic, ImageFollowsMoveThenArmedThenIdle) {
  AppStateRecord s;
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Idle);
  s.ButtonActive = 1;
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Armed);
  s.ButtonMoveMode = 1;
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Move);
  s.ButtonActive = 0;
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Move);
}

TEST(FunctionButtonLogic, SingleClickTogglesWhenTheTimerExpiresAndQueuesACommand) {
  AppStateRecord s;
  SingleLeftClick(s);
  EXPECT_EQ(s.ButtonActive.load(), 0u);  // nothing happens before the timer
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
  EXPECT_TRUE(ButtonClickTimerExpired(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_TRUE(TakePending(s.ButtonCommandPending));

  SingleLeftClick(s);
  EXPECT_TRUE(ButtonClickTimerExpired(s));
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_TRUE(TakePending(s.ButtonCommandPending));
}

TEST(FunctionButtonLogic, DoubleClickBeforeTheTimerEntersMoveModeWithoutToggling) {
  AppStateRecord s;
  SingleLeftClick(s);
  ButtonLeftDoubleClicked(s);  // the second press arrives as the double click
  EXPECT_FALSE(ButtonClickTimerExpired(s));
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
  EXPECT_EQ(s.ButtonMoveMode, 1u);
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Move);
}

TEST(FunctionButtonLogic, DoubleClickAfterTheTimerTogglesOnceThenEntersMoveMode) {
  AppStateRecord s;
  SingleLeftClick(s);
  EXPECT_TRUE(ButtonClickTimerExpired(s));  // a long system double-click time
  TakePending(s.ButtonCommandPending);
  ButtonLeftDoubleClicked(s);
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
  EXPECT_EQ(s.ButtonMoveMode, 1u);
  // The armed state stays underneath move mode.
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Move);
}

TEST(FunctionButtonLogic, TwoPressesSharingOneTimerToggleOnce) {
  AppStateRecord s;
  SingleLeftClick(s);
  SingleLeftClick(s);  // restarts the same timer
  EXPECT_TRUE(ButtonClickTimerExpired(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  // A press after a double click clears the cancellation again.
  ButtonLeftDoubleClicked(s);
  ButtonMoveEnded(s);
  TakePending(s.ButtonCommandPending);
  SingleLeftClick(s);
  EXPECT_TRUE(ButtonClickTimerExpired(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_TRUE(IsPending(s.ButtonCommandPending));
}

TEST(FunctionButtonLogic, RightClickTogglesAtOnceExceptInMoveMode) {
  AppStateRecord s;
  EXPECT_TRUE(ButtonRightPressed(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_TRUE(TakePending(s.ButtonCommandPending));

  ButtonLeftDoubleClicked(s);
  EXPECT_FALSE(ButtonRightPressed(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
  EXPECT_EQ(s.ButtonMoveMode, 1u);
}

// A screen reader's Invoke arms an idle button and tells the controller, as a tap does; it never
// disarms (an armed button offers no default action) and does nothing in move mode.
TEST(FunctionButtonLogic, DefaultActionArmsAnIdleButtonOnly) {
  AppStateRecord s;
  EXPECT_TRUE(ButtonHasDefaultAction(s));
  EXPECT_TRUE(ButtonDoDefaultAction(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_TRUE(TakePending(s.ButtonCommandPending));
  EXPECT_FALSE(ButtonHasDefaultAction(s));
  EXPECT_FALSE(ButtonDoDefaultAction(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));

  s.ButtonActive = 0;
  ButtonLeftDoubleClicked(s);
  EXPECT_FALSE(ButtonHasDefaultAction(s));
  EXPECT_FALSE(ButtonDoDefaultAction(s));
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
}

TEST(FunctionButtonLogic, LeftPressInMoveModeMovesAndEndsIdleWithoutCommand) {
  AppStateRecord s;
  ButtonRightPressed(s);
  TakePending(s.ButtonCommandPending);
  ButtonLeftDoubleClicked(s);
  EXPECT_EQ(ButtonLeftPressed(s), ButtonLeftPress::MoveWindow);
  EXPECT_EQ(s.ButtonMoveMode, 1u);  // unchanged until the move loop ends
  ButtonMoveEnded(s);
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_EQ(s.ButtonMoveMode, 0u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
  EXPECT_EQ(ChooseButtonImage(s), ButtonImage::Idle);
  // The timer of the press before the double click must not toggle afterwards.
  EXPECT_FALSE(ButtonClickTimerExpired(s));
  EXPECT_EQ(s.ButtonActive.load(), 0u);
}
