#include "feedback/indicator_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "feedback/indicator_rotation.h"

namespace {

// The ring drawn for a scale: the same look at every side (black middle and corners, coloured
// discs on the ring), and disc edges that are never blended toward the black colour key.
TEST(IndicatorSource, RingAtEveryScaleHasCleanDiscEdgesAndABlackMiddle) {
  // The darkest colour a disc shows is its rim, half its base colour: the cyan rim has 0x63 at most.
  constexpr std::uint32_t kDarkestRimChannel = 0x63 - 2;
  const auto channelMax = [](std::uint32_t p) { return std::max({p & 0xFF, p >> 8 & 0xFF, p >> 16 & 0xFF}); };
  for (int side : {127, 159, 190, 222, 254, 318, 381, 140}) {
    SCOPED_TRACE(side);
    const std::vector<std::uint32_t> ring = DrawIndicatorSource(side);
    ASSERT_EQ(ring.size(), static_cast<std::size_t>(side) * side);
    const auto at = [&](int x, int y) { return ring[static_cast<std::size_t>(y) * side + x]; };
    std::size_t black = 0, edges = 0;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const std::uint32_t p = at(x, y);
        ASSERT_EQ(p >> 24, 0u);
        if (p == 0) {
          ++black;
          continue;
        }
        const bool edge = x == 0 || y == 0 || x == side - 1 || y == side - 1 || at(x - 1, y) == 0 ||
                          at(x + 1, y) == 0 || at(x, y - 1) == 0 || at(x, y + 1) == 0;
        if (!edge) continue;
        ++edges;
        EXPECT_GE(channelMax(p), kDarkestRimChannel) << "edge pixel " << x << "," << y << " darkened";
        if (HasFailure()) return;
      }
    }
    EXPECT_GT(edges, static_cast<std::size_t>(side) * 4);
    const double share = static_cast<double>(black) / static_cast<double>(ring.size());
    EXPECT_GT(share, 0.5);
    EXPECT_LT(share, 0.68);
    // The middle (a seventh of the side either way from the centre) and the corners are black.
    for (int y = side / 2 - side / 7; y <= side / 2 + side / 7; ++y) {
      for (int x = side / 2 - side / 7; x <= side / 2 + side / 7; ++x) ASSERT_EQ(at(x, y), 0u) << x << "," << y;
    }
    EXPECT_EQ(at(0, 0) | at(side - 1, 0) | at(0, side - 1) | at(side - 1, side - 1), 0u);
    // The lead disc's white core sits up and left, where the 127 ring has it, scaled.
    const int coreX = static_cast<int>((63.5 - 46.0 * std::sqrt(0.5)) * side / 127.0);
    EXPECT_EQ(at(coreX, coreX), 0x00FFFFFFu);
  }
  EXPECT_TRUE(DrawIndicatorSource(INDICATOR_MAX_SIDE + 1).empty());
}

}  // namespace
