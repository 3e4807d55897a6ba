#include "core/app_state.h"
#include "core/display_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>

TEST(AppState, FreshRecordHoldsTheStartValues) {
  AppStateRecord s;
  EXPECT_EQ(s.ButtonSetup.load(), 15u);
  EXPECT_EQ(s.WaitTime.load(), 100);
  EXPECT_EQ(s.SliderWaitTime, 100);
  EXPECT_EQ(s.SavedWaitTime, -1);  // the first OK of a run always stores the hold time
  EXPECT_EQ(s.LanguageMode, LANGUAGE_ENGLISH);
  EXPECT_EQ(std::wcscmp(s.UnitText.data(), L"\u79D2"), 0);
  EXPECT_EQ(std::wcscmp(s.ExitCaption.data(), L"\u7D50\u675F"), 0);
  EXPECT_EQ(s.LogText[0], L'\0');
  EXPECT_EQ(s.LineScratch[0], L'\0');
  EXPECT_EQ(s.SetupPending.load() | s.ButtonCommandPending.load() | s.ButtonActive.load(), 0u);
  EXPECT_EQ(s.PointerSeen.load(), 0u);
  EXPECT_EQ(s.IndicatorAngle, 0.0f);
}

TEST(AppState, SharedFieldsAreLockFreeWords) {
  AppStateRecord s;
  EXPECT_TRUE(s.ButtonSetup.is_always_lock_free);
  EXPECT_TRUE(s.WaitTime.is_always_lock_free);
  EXPECT_TRUE(s.ButtonActive.is_always_lock_free);
  EXPECT_TRUE(s.Pointer.is_always_lock_free);
}

// The hook's point travels in one word; both halves come back with their signs, on every monitor.
TEST(AppState, PointerWordKeepsBothCoordinatesAndTheirSigns) {
  const std::int32_t values[] = {0, 1, -1, 402, -7, -1920, 0x12345678, INT32_MIN, INT32_MAX};
  for (std::int32_t x : values) {
    for (std::int32_t y : values) {
      const std::uint64_t word = PointerWord(x, y);
      EXPECT_EQ(PointerWordX(word), x) << x << "," << y;
      EXPECT_EQ(PointerWordY(word), y) << x << "," << y;
    }
  }
  EXPECT_NE(PointerWord(1, 0), PointerWord(0, 1));
  EXPECT_NE(PointerWord(-1, 0), PointerWord(0, -1));
}

TEST(AppState, FunctionButtonWinsWhenBothMethodBitsAreSet) {
  EXPECT_EQ(RightClickMethodOf(0), RightClickMethod::None);
  EXPECT_EQ(RightClickMethodOf(DEFAULT_BUTTON_SETUP), RightClickMethod::HoldStill);
  EXPECT_EQ(RightClickMethodOf(SETUP_FUNCTION_BUTTON), RightClickMethod::FunctionButton);
  EXPECT_EQ(RightClickMethodOf(SETUP_FUNCTION_BUTTON | SETUP_HOLD_STILL), RightClickMethod::FunctionButton);
  // Bits above 0x20 carry no meaning.
  EXPECT_EQ(RightClickMethodOf(0xFFFFFF00u | SETUP_LEFT_SOUND), RightClickMethod::None);
}

TEST(AppState, WaitTimeIsShownInSeconds) {
  EXPECT_DOUBLE_EQ(WaitTimeSeconds(WAIT_TIME_DEFAULT), 1.0);
  EXPECT_DOUBLE_EQ(WaitTimeSeconds(WAIT_TIME_MIN), 0.5);
  EXPECT_DOUBLE_EQ(WaitTimeSeconds(WAIT_TIME_MAX), 5.0);
}

TEST(DisplayScale, RingAndButtonSidesAtEachScaleAndBack) {
  // The ring's 127 px and the button's 50 px at 100, 125, 150, 175, 200, 250 and 300 %.
  const std::uint32_t dpis[] = {96, 120, 144, 168, 192, 240, 288};
  const std::int32_t ring[] = {127, 159, 190, 222, 254, 317, 381};
  const std::int32_t button[] = {50, 62, 75, 87, 100, 125, 150};
  for (std::size_t i = 0; i < std::size(dpis); ++i) {
    EXPECT_EQ(ScaleToDpi(127, dpis[i]), ring[i]) << dpis[i];
    EXPECT_EQ(ScaleToDpi(50, dpis[i]), button[i]) << dpis[i];
    EXPECT_EQ(ScaleFromDpi(ScaleToDpi(127, dpis[i]), dpis[i]), 127) << dpis[i];
  }
  EXPECT_EQ(ScaleToDpi(1, 24), 1);  // a 25 % scale never makes a length vanish
  EXPECT_EQ(ScaleToDpi(0, 144), 0);
}

// A grab offset measured at the press follows the window's scale and comes back unchanged.
TEST(DisplayScale, GrabOffsetFollowsTheScaleAndComesBack) {
  EXPECT_EQ(RescaleLength(30, 192, 96), 60);
  EXPECT_EQ(RescaleLength(17, 144, 96), 25);   // 25.5: the tie goes to the shorter
  EXPECT_EQ(RescaleLength(-17, 144, 96), -25);
  EXPECT_EQ(RescaleLength(45, 96, 144), 30);
  EXPECT_EQ(RescaleLength(17, 96, 144), 11);   // 11.33
  EXPECT_EQ(RescaleLength(23, 96, 144), 15);   // 15.33
  EXPECT_EQ(RescaleLength(25, 96, 144), 17);   // 16.67
  EXPECT_EQ(RescaleLength(-25, 96, 144), -17);
  EXPECT_EQ(RescaleLength(22, 120, 96), 27);   // 27.5
  EXPECT_EQ(RescaleLength(25, 96, 120), 20);
  EXPECT_EQ(RescaleLength(31, 96, 96), 31);
  EXPECT_EQ(RescaleLength(31, 192, 0), 31);  // a scale not known changes nothing
  EXPECT_EQ(RescaleLength(31, 0, 96), 31);
}
