// Where the function button sits: its start place and whether a place survives a change of the
// displays or of the work area (no window calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/display_scale.h"

struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct PixelPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// A monitor as the button sees it: its whole area, its work area and its scale.
struct ButtonMonitor {
  PixelRect area;
  PixelRect workArea;
  std::uint32_t dpi = BASE_DPI;
};

constexpr std::int32_t BUTTON_SIDE = 50;  // at 100 %

// The button's side on a monitor of this scale.
constexpr std::int32_t ButtonSide(std::uint32_t dpi) { return ScaleToDpi(BUTTON_SIDE, dpi); }

// The start place: 60 pixels from the right and 120 from the bottom of the primary screen (at 100 %;
// side and margins grow with the primary monitor's scale), as long as that square lies inside the
// primary monitor's work area; otherwise (a taskbar over it) it is pulled inside the work area.
PixelRect ButtonStartPlace(std::int32_t screenWidth, std::int32_t screenHeight, const PixelRect& primaryWorkArea,
                           std::uint32_t dpi = BASE_DPI);

// The monitor under the point; the nearest one when the point is off every monitor. Monitors must
// not be empty.
std::size_t MonitorAtPoint(PixelPoint point, const std::vector<ButtonMonitor>& monitors);

// The monitor holding the largest part of the place (the first of equals); the one nearest to its
// centre when it is off every monitor. This is the system's rule for a window's monitor.
std::size_t MonitorOfPlace(const PixelRect& place, const std::vector<ButtonMonitor>& monitors);

// The square of the given side that keeps `fixed`, a point of `place`, at the same relative spot.
PixelRect ButtonResizedAround(const PixelRect& place, PixelPoint fixed, std::int32_t side);

// Where a dragged button goes: under the finger, drawn for the monitor under the finger, the finger
// at the spot of the button it pressed. grab is the finger's offset from the top-left corner at
// the press, when the side was grabSide.
PixelRect ButtonDragPlace(PixelPoint finger, PixelPoint grab, std::int32_t grabSide,
                          const std::vector<ButtonMonitor>& monitors);

// Whether every pixel of the place lies on the work area of some monitor. The work areas of
// monitors do not overlap; a place across the border of two adjacent ones counts as on them.
bool WhollyOnWorkAreas(const PixelRect& place, const std::vector<PixelRect>& workAreas);

// The place after the displays or the work area changed. A button the user has not dragged goes
// to the start place worked out for the new layout; a dragged one stays while it is wholly on the
// work areas and goes back to the start place when it is not.
PixelRect ButtonPlaceAfterDisplayChange(const PixelRect& current, bool userDragged, const PixelRect& startPlace,
                                        const std::vector<PixelRect>& workAreas);

// The same with monitors of their own scales: a dragged button is first redrawn for the scale of
// the monitor that holds most of it (around its centre), then kept while wholly on the work areas.
PixelRect ButtonPlaceAfterDisplayChange(const PixelRect& current, bool userDragged, const PixelRect& startPlace,
                                        const std::vector<ButtonMonitor>& monitors);
