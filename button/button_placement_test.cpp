#include "button/button_placement.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(ButtonPlacement, StartPlaceAtTheScaleOfThePrimaryMonitor) {
  // Side and margins grow with the scale: 50 at 100 %, 62 at 125 %, 75 at 150 %, 100 at 200 %.
  EXPECT_EQ(ButtonStartPlace(1024, 768, PixelRect{0, 0, 1024, 768}, 96), (PixelRect{964, 648, 1014, 698}));
  EXPECT_EQ(ButtonStartPlace(2560, 1440, PixelRect{0, 0, 2560, 1440}, 144), (PixelRect{2470, 1260, 2545, 1335}));
  EXPECT_EQ(ButtonStartPlace(3840, 2160, PixelRect{0, 0, 3840, 2160}, 192), (PixelRect{3720, 1920, 3820, 2020}));
  EXPECT_EQ(ButtonStartPlace(1920, 1080, PixelRect{0, 0, 1920, 1080}, 120), (PixelRect{1845, 930, 1907, 992}));
  // A taskbar over it at 150 %: pulled inside by the scaled side.
  EXPECT_EQ(ButtonStartPlace(2560, 1440, PixelRect{0, 0, 2560, 1300}, 144), (PixelRect{2470, 1225, 2545, 1300}));
}

namespace {

// A 100 % primary monitor, a 200 % one to its right and higher up, a 125 % one to its left.
const std::vector<ButtonMonitor> kMixed{
    {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96},
    {{1920, -200, 5760, 1960}, {1920, -200, 5760, 1960}, 192},
    {{-1280, 0, 0, 1024}, {-1280, 0, 0, 984}, 120},
};

}  // namespace

TEST(ButtonPlacement, MonitorUnderAPointAndOfAPlaceWithMixedScales) {
  EXPECT_EQ(MonitorAtPoint({1919, 500}, kMixed), 0u);
  EXPECT_EQ(MonitorAtPoint({1920, 500}, kMixed), 1u);
  EXPECT_EQ(MonitorAtPoint({1920, -200}, kMixed), 1u);
  EXPECT_EQ(MonitorAtPoint({-1, 0}, kMixed), 2u);
  EXPECT_EQ(MonitorAtPoint({0, 0}, kMixed), 0u);
  // Off every monitor: the nearest one.
  EXPECT_EQ(MonitorAtPoint({500, 1100}, kMixed), 0u);
  EXPECT_EQ(MonitorAtPoint({1900, -50}, kMixed), 1u);
  EXPECT_EQ(MonitorAtPoint({-700, 1030}, kMixed), 2u);

  // Most of the place decides; across the border 30 pixels on the 200 % side win over 20.
  EXPECT_EQ(MonitorOfPlace({1890, 500, 1940, 550}, kMixed), 0u);
  EXPECT_EQ(MonitorOfPlace({1900, 500, 1950, 550}, kMixed), 1u);
  EXPECT_EQ(MonitorOfPlace({-20, 500, 30, 550}, kMixed), 0u);
  EXPECT_EQ(MonitorOfPlace({-30, 500, 20, 550}, kMixed), 2u);
  // Equal shares: the first monitor listed.
  EXPECT_EQ(MonitorOfPlace({-25, 500, 25, 550}, kMixed), 0u);
  // Off every monitor: the one nearest to its centre.
  EXPECT_EQ(MonitorOfPlace({-700, 1030, -650, 1080}, kMixed), 2u);
}

// A monitor below the primary one: its first row is its own, so a finger there drags the button
// drawn at that monitor's scale, whichever monitor the system lists first.
TEST(ButtonPlacement, TheFirstRowOfAMonitorBelowAnotherTakesItsScale) {
  const ButtonMonitor upper{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 96};
  const ButtonMonitor lower{{0, 1080, 1920, 2160}, {0, 1080, 1920, 2160}, 192};
  for (const std::vector<ButtonMonitor>& monitors : {std::vector<ButtonMonitor>{upper, lower},
                                                     std::vector<ButtonMonitor>{lower, upper}}) {
    const std::size_t lowerIndex = monitors[0].dpi == 192 ? 0 : 1;
    EXPECT_EQ(MonitorAtPoint({700, 1080}, monitors), lowerIndex);
    EXPECT_EQ(MonitorAtPoint({700, 1079}, monitors), 1 - lowerIndex);
    EXPECT_EQ(ButtonDragPlace({700, 1080}, PixelPoint{25, 0}, 50, monitors), (PixelRect{650, 1080, 750, 1180}));
  }
}

// Onto another scale the finger keeps its spot on the button to the nearest pixel: 23 of 50 is
// 28.52 of 62, so 29 (a rounding that moved ties or more of the fractions would give 28).
TEST(ButtonPlacement, ADragOntoAnotherScaleKeepsTheGrabToTheNearestPixel) {
  EXPECT_EQ(ButtonDragPlace({-600, 300}, PixelPoint{23, 27}, 50, kMixed), (PixelRect{-629, 267, -567, 329}));
}

TEST(ButtonPlacement, ADraggedButtonTakesTheScaleUnderTheFingerAndStaysUnderIt) {
  // Pressed 10 right and 20 down from the corner of the 100 % button.
  const PixelPoint grab{10, 20};
  EXPECT_EQ(ButtonDragPlace({1000, 500}, grab, 50, kMixed), (PixelRect{990, 480, 1040, 530}));
  // Onto the 200 % monitor: twice the side, the finger still at a fifth across and two fifths down.
  EXPECT_EQ(ButtonDragPlace({2400, 300}, grab, 50, kMixed), (PixelRect{2380, 260, 2480, 360}));
  // The finger decides near the border, although most of the button would lie on the other side.
  EXPECT_EQ(ButtonDragPlace({1919, 300}, PixelPoint{5, 20}, 50, kMixed), (PixelRect{1914, 280, 1964, 330}));
  EXPECT_EQ(ButtonDragPlace({1920, 300}, PixelPoint{45, 20}, 50, kMixed), (PixelRect{1830, 260, 1930, 360}));
  // Onto the 125 % monitor: side 62, the grab scaled to the nearest pixel (25 of 50 is 31 of 62).
  EXPECT_EQ(ButtonDragPlace({-600, 300}, PixelPoint{25, 25}, 50, kMixed), (PixelRect{-631, 269, -569, 331}));
  // Grabbed at 200 % and brought back: the 100 % button under the same spot.
  EXPECT_EQ(ButtonDragPlace({1000, 500}, PixelPoint{20, 40}, 100, kMixed), (PixelRect{990, 480, 1040, 530}));
  // Back and forth keeps the finger on the same spot of the button.
  for (const PixelPoint finger : {PixelPoint{-600, 300}, PixelPoint{3000, 1000}, PixelPoint{100, 100}}) {
    const PixelRect place = ButtonDragPlace(finger, PixelPoint{37, 12}, 50, kMixed);
    EXPECT_GE(finger.x, place.left);
    EXPECT_LT(finger.x, place.right);
    EXPECT_EQ(ButtonSide(kMixed[MonitorAtPoint(finger, kMixed)].dpi), place.right - place.left);
    EXPECT_EQ(place.bottom - place.top, place.right - place.left);
    EXPECT_EQ(ButtonDragPlace(finger, PixelPoint{finger.x - place.left, finger.y - place.top},
                              place.right - place.left, kMixed),
              place);
  }
}

TEST(ButtonPlacement, AfterAScaleChangeADraggedButtonIsRedrawnAroundItsCentre) {
  const PixelRect start = ButtonStartPlace(1920, 1080, kMixed[0].workArea, 96);
  // Dragged at 100 % onto the monitor now at 200 %: twice the side around the same centre.
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{3000, 500, 3050, 550}, true, start, kMixed),
            (PixelRect{2975, 475, 3075, 575}));
  // Already drawn for it: unchanged.
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{2975, 475, 3075, 575}, true, start, kMixed),
            (PixelRect{2975, 475, 3075, 575}));
  // The 200 % button on a monitor back at 100 %.
  std::vector<ButtonMonitor> back = kMixed;
  back[1].dpi = 96;
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{2975, 475, 3075, 575}, true, start, back),
            (PixelRect{3000, 500, 3050, 550}));
  // Grown over the edge of the work area: back to the start place.
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{5705, 500, 5755, 550}, true, start, kMixed), start);
  // Not dragged: the start place.
  EXPECT_EQ(ButtonPlaceAfterDisplayChange(PixelRect{3000, 500, 3050, 550}, false, start, kMixed), start);
}
