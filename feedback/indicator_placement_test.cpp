#include "feedback/indicator_placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A monitor as the system lays it out: its place in physical pixels, its scale, and the origin the
// system gives it in the coordinates of a program without DPI awareness.
struct Monitor {
  ScreenPoint PhysicalOrigin;
  std::int32_t PhysicalWidth;
  std::int32_t PhysicalHeight;
  std::int32_t ScalePercent;
  ScreenPoint LogicalOrigin;
};

// What such a program reads for a physical point on the monitor (the system's virtualisation).
ScreenPoint Logical(const Monitor& m, ScreenPoint physical) {
  return ScreenPoint{m.LogicalOrigin.x + (physical.x - m.PhysicalOrigin.x) * 100 / m.ScalePercent,
                     m.LogicalOrigin.y + (physical.y - m.PhysicalOrigin.y) * 100 / m.ScalePercent};
}

Monitor Primary(std::int32_t scale) { return Monitor{{0, 0}, 2560, 1440, scale, {0, 0}}; }
Monitor LeftOfPrimary(std::int32_t scale) {
  return Monitor{{-1920, 0}, 1920, 1080, scale, {-1920 * 100 / scale, 0}};
}
Monitor AbovePrimary(std::int32_t scale) {
  return Monitor{{0, -1080}, 1920, 1080, scale, {0, -1080 * 100 / scale}};
}

// Touch points on a monitor: the middle and near each corner.
std::vector<ScreenPoint> TouchPoints(const Monitor& m) {
  const ScreenPoint o = m.PhysicalOrigin;
  return {{o.x + m.PhysicalWidth / 2, o.y + m.PhysicalHeight / 2},
          {o.x + 3, o.y + 5},
          {o.x + m.PhysicalWidth - 1, o.y + 7},
          {o.x + 11, o.y + m.PhysicalHeight - 1},
          {o.x + m.PhysicalWidth - 2, o.y + m.PhysicalHeight - 3}};
}

std::string Describe(const Monitor& m, ScreenPoint touch) {
  return "monitor at (" + std::to_string(m.PhysicalOrigin.x) + ", " + std::to_string(m.PhysicalOrigin.y) + ") " +
         std::to_string(m.ScalePercent) + " %, touch (" + std::to_string(touch.x) + ", " + std::to_string(touch.y) +
         ")";
}

// Checks every way the readings can come for touches on the monitors; stale is a point the hook
// saw earlier, somewhere else.
void ExpectRingOnEveryTouch(const std::vector<Monitor>& monitors) {
  const Monitor& first = monitors.front();
  const ScreenPoint stale{first.PhysicalOrigin.x + 40, first.PhysicalOrigin.y + 30};
  for (const Monitor& m : monitors) {
    for (const ScreenPoint touch : TouchPoints(m)) {
      SCOPED_TRACE(Describe(m, touch));
      const ScreenPoint logical = Logical(m, touch);
      if (m.ScalePercent != 100) {
        ASSERT_NE(logical, touch);  // the hook's point alone would be wrong
      }
      const ScreenPoint expectedTopLeft{logical.x - 63, logical.y - 63};

      // Everything works; the hook has been removed after a stall and knows only an old move; an
      // elevated window has the input and the hook never saw a move.
      for (const PointerReadings& readings :
           {PointerReadings{logical, touch, logical}, PointerReadings{logical, stale, Logical(first, stale)},
            PointerReadings{logical, std::nullopt, std::nullopt}}) {
        const auto centre = IndicatorCentre(readings);
        ASSERT_TRUE(centre.has_value());
        EXPECT_EQ(IndicatorTopLeft(*centre), expectedTopLeft);
      }

      // The cursor cannot be read (another desktop has the input): the hook's point, converted.
      const auto converted = IndicatorCentre(PointerReadings{std::nullopt, touch, logical});
      ASSERT_TRUE(converted.has_value());
      EXPECT_EQ(IndicatorTopLeft(*converted), expectedTopLeft);

      // Neither the cursor nor the conversion: the hook's point as reported, never nothing.
      const auto raw = IndicatorCentre(PointerReadings{std::nullopt, touch, std::nullopt});
      ASSERT_TRUE(raw.has_value());
      EXPECT_EQ(*raw, touch);
      EXPECT_EQ(IndicatorTopLeft(*raw), (ScreenPoint{touch.x - 63, touch.y - 63}));
    }
  }
}

}  // namespace

TEST(IndicatorPlacement, RingCentredOnTheTouchAtEveryScaleOfOneMonitor) {
  for (std::int32_t scale : {100, 125, 150, 200}) {
    SCOPED_TRACE(scale);
    ExpectRingOnEveryTouch({Primary(scale)});
  }
  // The case of the report: 150 %, a touch at (1500, 900) is (1000, 600) to the program.
  const ScreenPoint touch{1500, 900};
  const auto centre = IndicatorCentre(PointerReadings{Logical(Primary(150), touch), touch, std::nullopt});
  ASSERT_TRUE(centre.has_value());
  EXPECT_EQ(IndicatorTopLeft(*centre), (ScreenPoint{937, 537}));
}

TEST(IndicatorPlacement, RingCentredOnASecondMonitorLeftOfOrAboveThePrimaryWithOtherScales) {
  for (std::int32_t primary : {100, 125, 150, 200}) {
    for (std::int32_t second : {100, 125, 150, 200}) {
      SCOPED_TRACE(std::to_string(primary) + " % primary, " + std::to_string(second) + " % second");
      ExpectRingOnEveryTouch({Primary(primary), LeftOfPrimary(second)});
      ExpectRingOnEveryTouch({Primary(primary), AbovePrimary(second)});
    }
  }
}

TEST(IndicatorPlacement, NothingKnownShowsNothing) {
  EXPECT_FALSE(IndicatorCentre(PointerReadings{}).has_value());
  // A converted point without a hook point cannot occur; it is no position either.
  EXPECT_FALSE(IndicatorCentre(PointerReadings{std::nullopt, std::nullopt, ScreenPoint{5, 5}}).has_value());
  EXPECT_EQ(IndicatorTopLeft(ScreenPoint{0, 0}), (ScreenPoint{-63, -63}));
}
