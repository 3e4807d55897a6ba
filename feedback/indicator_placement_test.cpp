#include "feedback/indicator_placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Monitors as the system lays them out for a program aware of each monitor's scale: physical pixels.
MonitorScale Monitor(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                     std::uint32_t percent) {
  return MonitorScale{left, top, left + width, top + height, percent * 96 / 100};
}

std::int32_t SideAt(std::uint32_t percent) {
  switch (percent) {
    case 100: return 127;
    case 125: return 159;
    case 150: return 190;
    case 175: return 222;
    case 200: return 254;
    case 250: return 317;  // 317.5: a tie goes to the smaller side
    case 300: return 381;
    default: return 0;
  }
}

// The ring for a touch must be the one of `percent`, centred on the touch.
void ExpectRing(const std::vector<MonitorScale>& monitors, ScreenPoint touch, std::uint32_t percent) {
  SCOPED_TRACE("touch (" + std::to_string(touch.x) + ", " + std::to_string(touch.y) + "), expected " +
               std::to_string(percent) + " %");
  const IndicatorPlacement place = PlaceIndicator(touch, monitors, 96);
  const std::int32_t side = SideAt(percent);
  EXPECT_EQ(place.dpi, percent * 96 / 100);
  EXPECT_EQ(place.side, side);
  EXPECT_EQ(place.drawnSource, percent != 100);
  EXPECT_EQ(place.topLeft, (ScreenPoint{touch.x - side / 2, touch.y - side / 2}));
}

}  // namespace

TEST(IndicatorPlacement, RingCentredOnTheTouchAtEveryScaleOfOneMonitor) {
  for (std::uint32_t percent : {100u, 125u, 150u, 175u, 200u, 250u, 300u}) {
    const std::vector<MonitorScale> one{Monitor(0, 0, 3840, 2160, percent)};
    for (const ScreenPoint touch : {ScreenPoint{1500, 900}, ScreenPoint{0, 0}, ScreenPoint{3839, 2159}}) {
      ExpectRing(one, touch, percent);
    }
  }
  // 100 % keeps today's window exactly: pixel (63, 63) on the touch, the bitmap as its source.
  const std::vector<MonitorScale> plain{Monitor(0, 0, 1024, 768, 100)};
  const IndicatorPlacement place = PlaceIndicator(ScreenPoint{400, 300}, plain, 96);
  EXPECT_EQ(place.topLeft, (ScreenPoint{337, 237}));
  EXPECT_FALSE(place.drawnSource);
  // Scales between the listed ones get their own side; the rotation's limit caps the largest.
  EXPECT_EQ(IndicatorSideForDpi(106), 140);
  EXPECT_EQ(IndicatorSideForDpi(480), 635);
  EXPECT_EQ(IndicatorSideForDpi(2000), 640);
  EXPECT_EQ(IndicatorSideForDpi(0), 127);
}

// A monitor below another: a touch on its first row gets its ring, whichever monitor the system
// lists first.
TEST(IndicatorPlacement, TheFirstRowOfAMonitorBelowAnotherTakesItsScale) {
  const MonitorScale upper = Monitor(0, 0, 1920, 1080, 100);
  const MonitorScale lower = Monitor(0, 1080, 1920, 1080, 200);
  for (const std::vector<MonitorScale>& monitors : {std::vector<MonitorScale>{upper, lower},
                                                    std::vector<MonitorScale>{lower, upper}}) {
    ExpectRing(monitors, {700, 1080}, 200);
    ExpectRing(monitors, {700, 1079}, 100);
  }
}

// Off every monitor, above one that starts lower than its neighbour: the distance to it is from
// its top edge, so it is the nearest one.
TEST(IndicatorPlacement, OffEveryMonitorAboveALowerOneThatOneIsTheNearest) {
  const std::vector<MonitorScale> monitors{Monitor(0, 0, 1920, 1080, 100), Monitor(1920, 200, 1920, 1080, 200)};
  ExpectRing(monitors, {2100, 150}, 200);
}

TEST(IndicatorPlacement, MixedScalesTakeTheScaleOfTheTouchedMonitorAlsoNearTheEdgeBetweenThem) {
  for (std::uint32_t left : {100u, 200u}) {
    const std::uint32_t right = left == 100 ? 200 : 100;
    // Side by side, the second one taller and lower, and a third above the first.
    const std::vector<MonitorScale> monitors{Monitor(0, 0, 1920, 1080, left), Monitor(1920, -200, 3840, 2160, right),
                                             Monitor(0, -1080, 1920, 1080, right)};
    ExpectRing(monitors, {960, 540}, left);
    ExpectRing(monitors, {3000, 900}, right);
    // The edge's last column on the left, and the first on the right: the ring lies mostly over
    // the other monitor but keeps the touched monitor's scale.
    ExpectRing(monitors, {1919, 500}, left);
    ExpectRing(monitors, {1918, 500}, left);
    ExpectRing(monitors, {1920, 500}, right);
    ExpectRing(monitors, {1921, 500}, right);
    // Across the top edge of the first monitor: the one above.
    ExpectRing(monitors, {700, 0}, left);
    ExpectRing(monitors, {700, -1}, right);
    // Off every monitor: the nearest one (below the first, right of the second, in the gap
    // below the first and left of the second, nearer one or the other; left of the third).
    ExpectRing(monitors, {500, 1500}, left);
    ExpectRing(monitors, {9000, 100}, right);
    ExpectRing(monitors, {1800, 1100}, left);
    ExpectRing(monitors, {1900, 1200}, right);
    ExpectRing(monitors, {-50, -1000}, right);
  }
  // Left of and above the primary: negative coordinates.
  const std::vector<MonitorScale> negative{Monitor(0, 0, 2560, 1440, 150), Monitor(-1920, 0, 1920, 1080, 100),
                                           Monitor(0, -1080, 1920, 1080, 250)};
  ExpectRing(negative, {-1, 10}, 100);
  ExpectRing(negative, {0, 10}, 150);
  ExpectRing(negative, {10, -1}, 250);
  ExpectRing(negative, {-1920, 1079}, 100);
}

TEST(IndicatorPlacement, NothingKnownShowsNothingAndNoMonitorTakesTheSystemScale) {
  EXPECT_FALSE(IndicatorCentre(PointerReadings{}).has_value());
  // The cursor first; the hook's point when the cursor cannot be read (another desktop has the input).
  EXPECT_EQ(IndicatorCentre(PointerReadings{ScreenPoint{5, 6}, ScreenPoint{7, 8}}), (ScreenPoint{5, 6}));
  EXPECT_EQ(IndicatorCentre(PointerReadings{std::nullopt, ScreenPoint{7, 8}}), (ScreenPoint{7, 8}));

  EXPECT_FALSE(MonitorUnder({}, ScreenPoint{0, 0}).has_value());
  const IndicatorPlacement place = PlaceIndicator(ScreenPoint{0, 0}, {}, 144);
  EXPECT_EQ(place.side, 190);
  EXPECT_EQ(place.topLeft, (ScreenPoint{-95, -95}));
  // An empty rectangle is no monitor.
  const std::vector<MonitorScale> empty{MonitorScale{0, 0, 0, 0, 192}, Monitor(100, 0, 100, 100, 100)};
  EXPECT_EQ(MonitorUnder(empty, ScreenPoint{0, 0}), std::optional<std::size_t>(1));
}
