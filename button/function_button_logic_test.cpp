#include "button/function_button_logic.h"

#include <gtest/gtest.h>

#include "button/button_placement.h"
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

TEST(ButtonPlacement, StartPlaceIsTheLowerRightUnlessATaskbarCoversIt) {
  // The whole screen is the work area: 60 from the right, 120 from the bottom.
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{0, 0, 1024, 768}), (PixelRect{964, 648, 1014, 698}));
  EXPECT_EQ(ButtonStartPlace(1920, 1080, PixelRect{0, 0, 1920, 1040}), (PixelRect{1860, 960, 1910, 1010}));
  // A taskbar on the left or at the top does not reach it.
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{200, 150, 1024, 768}), (PixelRect{964, 648, 1014, 698}));
  // A tall taskbar at the bottom, a wide one on the right, both: pulled just inside.
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{0, 0, 1024, 680}), (PixelRect{964, 630, 1014, 680}));
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{0, 0, 944, 768}), (PixelRect{894, 648, 944, 698}));
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{0, 0, 990, 600}), (PixelRect{940, 550, 990, 600}));
  // A work area too small for the button: its top-left corner.
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{100, 700, 130, 730}), (PixelRect{100, 700, 150, 750}));
}

TEST(ButtonPlacement, WhollyOnWorkAreasAcrossMonitorsWithNegativeCoordinates) {
  const PixelRect primary{0, 0, 1920, 1040};
  const PixelRect left{-1280, 0, 0, 984};  // a smaller monitor left of the primary, taskbar at its bottom
  const PixelRect above{0, -864, 1536, 0};
  const std::vector<PixelRect> areas{primary, left, above};
  EXPECT_TRUE(WhollyOnWorkAreas(PixelRect{1860, 960, 1910, 1010}, areas));
  EXPECT_TRUE(WhollyOnWorkAreas(PixelRect{-600, 300, -550, 350}, areas));
  EXPECT_TRUE(WhollyOnWorkAreas(PixelRect{100, -500, 150, -450}, areas));
  EXPECT_TRUE(WhollyOnWorkAreas(PixelRect{-25, 100, 25, 150}, areas));  // across the border of two
  EXPECT_TRUE(WhollyOnWorkAreas(PixelRect{100, -25, 150, 25}, areas));
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{1900, 960, 1950, 1010}, areas));   // partly off the right edge
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{1860, 1020, 1910, 1070}, areas));  // partly under the taskbar
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{-600, 970, -550, 1020}, areas));   // below the shorter monitor
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{1600, -500, 1650, -450}, areas));  // in the gap beside the upper one
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{-600, 300, -550, 350}, {primary}));
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{10, 10, 60, 60}, {}));
  // A mirrored display lists the same area twice; half a button off it is still half off.
  EXPECT_FALSE(WhollyOnWorkAreas(PixelRect{1895, 100, 1945, 150}, {primary, primary}));
}

TEST(ButtonPlacement, AfterADisplayChangeADraggedPlaceStaysWhileVisible) {
  const std::vector<PixelRect> twoMonitors{{0, 0, 1920, 1040}, {-1280, 0, 0, 984}};
  const PixelRect start = ButtonStartPlace(1920, 1080, twoMonitors[0]);
  const PixelRect onSecond{-600, 300, -550, 350};

  // Dragged onto the second monitor: kept while it is there, back at the start when it is removed.
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(onSecond, true, start, twoMonitors), onSecond);
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(onSecond, true, start, {twoMonitors[0]}), start);
  // A taskbar now over a dragged place.
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{900, 1000, 950, 1050}, true, start, twoMonitors), start);
  // Turned to portrait: the old right-hand place is off the screen.
  const std::vector<PixelRect> portrait{{0, 0, 1080, 1880}};
  const PixelRect portraitStart = ButtonStartPlace(1080, 1920, portrait[0]);
  EXPECT_EQ(portraitStart, (PixelRect{1020, 1800, 1070, 1850}));
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{1500, 200, 1550, 250}, true, portraitStart, portrait),
            portraitStart);
  // Never dragged: it follows the start place of the new layout, though the old one is still visible.
  const PixelRect small = ButtonStartPlace(1024, 768, PixelRect{0, 0, 1024, 768});
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(small, false, start, twoMonitors), start);
}
