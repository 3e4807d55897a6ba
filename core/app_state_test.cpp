#include "core/app_state.h"

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

// The record's fields of the stored values (the settings in force, what OK last stored of each
// number) take a whole record and give it back, each value in its own field.
TEST(AppState, TheStoredValuesGoInAndComeBackAsOneRecord) {
  AppStateRecord s;
  EXPECT_EQ(SettingsInForceOf(s), StoredDefaults());
  EXPECT_EQ(SavedSettingsOf(s), SettingValues::Filled(NOT_SAVED_YET));
  SettingValues values = StoredDefaults();
  for (StoredSetting x : STORED_SETTINGS) values[x] = StoredValueOf(x).Highest;  // none is its default
  StoreSettingsInForce(s, values);
  EXPECT_EQ(SettingsInForceOf(s), values);
  EXPECT_EQ(s.ButtonSetup.load(), StoredValueOf(StoredSetting::ButtonSetup).Highest);
  EXPECT_EQ(s.WaitTime.load(), WAIT_TIME_MAX);
  EXPECT_EQ(s.SetupPending.load(), 0u);

  // Only what was stored is remembered, and only of a number: OK writes a word every time.
  RememberSavedSettings(s, values, SettingFlags::Filled(false));
  EXPECT_EQ(SavedSettingsOf(s), SettingValues::Filled(NOT_SAVED_YET));
  RememberSavedSettings(s, values, SettingFlags::Filled(true));
  for (StoredSetting x : STORED_SETTINGS) EXPECT_EQ(SavedSettingsOf(s)[x], HoldsBits(x) ? NOT_SAVED_YET : values[x]);
  EXPECT_EQ(s.SavedWaitTime, WAIT_TIME_MAX);
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
