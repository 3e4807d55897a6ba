// Where the function button sits: its start place and whether a place survives a change of the
// displays or of the work area (no window calls).
#pragma once

#include <cstdint>
#include <vector>

struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

constexpr std::int32_t BUTTON_SIDE = 50;

// The start place: 60 pixels from the right and 120 from the bottom of the primary screen, as long
// as that square lies inside the primary monitor's work area; otherwise (a taskbar over it) it is
// pulled inside the work area.
PixelRect ButtonStartPlace(std::int32_t screenWidth, std::int32_t screenHeight, const PixelRect& primaryWorkArea);

// Whether every pixel of the place lies on the work area of some monitor. The work areas of
// monitors do not overlap; a place across the border of two adjacent ones counts as on them.
bool WhollyOnWorkAreas(const PixelRect& place, const std::vector<PixelRect>& workAreas);

// The place after the displays or the work area changed. A button the user has not dragged goes
// to the start place worked out for the new layout; a dragged one stays while it is wholly on the
// work areas and goes back to the start place when it is not.
PixelRect ButtonPlaceAfterDisplayChange(const PixelRect& current, bool userDragged, const PixelRect& startPlace,
                                        const std::vector<PixelRect>& workAreas);
