#include "device/device_protocol.h"

#include <gtest/gtest.h>

#include "core/app_state.h"

TEST(DeviceProtocol, SetupCommandCarriesHoldStillAndLow16BitsOfWaitTime) {
  EXPECT_EQ(BuildSetupCommand(DEFAULT_BUTTON_SETUP, 100), (SetupCommand{0x00, 0x01, 0x64, 0x00}));
  EXPECT_EQ(BuildSetupCommand(0, 500), (SetupCommand{0x00, 0x00, 0xF4, 0x01}));
  // Both method bits: the hold-still byte follows SETUP_HOLD_STILL alone.
  EXPECT_EQ(BuildSetupCommand(SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON, 50)[1], 1);
  EXPECT_EQ(BuildSetupCommand(SETUP_FUNCTION_BUTTON, 50)[1], 0);
  // A stored hold time beyond 16 bits sends only its low 16 bits; a negative one its two's complement.
  EXPECT_EQ(BuildSetupCommand(0, 0x12345), (SetupCommand{0x00, 0x00, 0x45, 0x23}));
  EXPECT_EQ(BuildSetupCommand(0, -1), (SetupCommand{0x00, 0x00, 0xFF, 0xFF}));
}

TEST(DeviceProtocol, ButtonCommandCarriesArmedState) {
  EXPECT_EQ(BuildButtonCommand(true), (ButtonCommand{0x01, 0x01}));
  EXPECT_EQ(BuildButtonCommand(false), (ButtonCommand{0x01, 0x00}));
}

TEST(DeviceProtocol, EventDecisionFollowsBitsAndFeatureWord) {
  const std::uint32_t all = SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH;
  EXPECT_EQ(DecideEventAction(0x00, all), EventAction::None);
  EXPECT_EQ(DecideEventAction(0x04, all), EventAction::None);
  EXPECT_EQ(DecideEventAction(0xFC, all), EventAction::None);
  EXPECT_EQ(DecideEventAction(0x01, all), EventAction::LeftClick);
  EXPECT_EQ(DecideEventAction(0x02, all), EventAction::RightClick);
  EXPECT_EQ(DecideEventAction(0x06, all), EventAction::RightClick);
  // Both bits: left while the click sound is on, right while it is off.
  EXPECT_EQ(DecideEventAction(0x03, all), EventAction::LeftClick);
  EXPECT_EQ(DecideEventAction(0x03, all & ~SETUP_LEFT_SOUND), EventAction::RightClick);
  // A left click with the click sound off does nothing at all.
  EXPECT_EQ(DecideEventAction(0x01, all & ~SETUP_LEFT_SOUND), EventAction::None);
  // A right click is a right click whatever the sound and flash bits say; each consumer checks its bit.
  EXPECT_EQ(DecideEventAction(0x02, 0), EventAction::RightClick);
}
