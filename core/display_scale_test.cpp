#include "core/display_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

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
