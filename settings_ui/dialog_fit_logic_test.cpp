#include "settings_ui/dialog_fit_logic.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

int StretchedWidth(const TextRoom& room, std::int32_t stretch) {
  return StretchX(room.Right, stretch) - StretchX(room.Left, stretch);
}

// A layout whose texts fit is never touched: the windows at 100 % keep their sizes.
TEST(DialogFit, TextsThatFitLeaveTheLayoutAsItIs) {
  const std::vector<TextRoom> rooms = {{10, 110, 100}, {0, 40, 0}, {120, 200, 12}, {-5, 0, 0}};
  EXPECT_EQ(FitStretch(rooms.data(), rooms.size()), FIT_NO_STRETCH);
  EXPECT_EQ(FitStretch(nullptr, 0), FIT_NO_STRETCH);
  for (int x : {-7, 0, 1, 509}) EXPECT_EQ(StretchX(x, FIT_NO_STRETCH), x);
}

// The stretch is the smallest that gives every control its text's width once its edges are
// rounded, for the tightest control wherever it stands; edges never move left.
TEST(DialogFit, SmallestStretchGivesEveryTextItsWidth) {
  const std::vector<TextRoom> rooms = {{194, 467, 281}, {44, 187, 150}, {300, 480, 120}, {221, 281, 61}};
  const std::int32_t stretch = FitStretch(rooms.data(), rooms.size());
  EXPECT_GT(stretch, FIT_NO_STRETCH);
  for (const TextRoom& room : rooms) EXPECT_GE(StretchedWidth(room, stretch), room.Needed) << room.Left;
  bool oneShort = false;
  for (const TextRoom& room : rooms) oneShort = oneShort || StretchedWidth(room, stretch - 1) < room.Needed;
  EXPECT_TRUE(oneShort) << "not the smallest: " << stretch;
  for (int x = -20; x < 600; ++x) EXPECT_GE(StretchX(x, stretch), x);
  EXPECT_EQ(StretchX(-7, 1500), -10);  // -10.5 rounded up
  EXPECT_EQ(StretchX(7, 1500), 11);
}

// The second control fits at the first one's stretch only by its rounded edges, and loses that
// pixel at the larger stretch the third one asks for: the controls are checked again until every
// text fits, or that text is cut by a pixel.
TEST(DialogFit, AControlThatLosesItsRoundingToALaterStretchIsFittedAgain) {
  const std::vector<TextRoom> rooms = {{234, 339, 113}, {245, 377, 143}, {121, 243, 132}};
  const std::int32_t stretch = FitStretch(rooms.data(), rooms.size());
  for (const TextRoom& room : rooms) EXPECT_GE(StretchedWidth(room, stretch), room.Needed) << room.Left;
}

// A control with no width cannot be given room and does not make the stretch run away.
TEST(DialogFit, EmptyControlsAreLeftAlone) {
  const std::vector<TextRoom> rooms = {{50, 50, 30}, {0, 100, 103}};
  EXPECT_EQ(FitStretch(rooms.data(), rooms.size()), 1030);
}

}  // namespace
