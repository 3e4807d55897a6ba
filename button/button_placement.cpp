#include "button/button_placement.h"

#include <algorithm>

namespace {

constexpr std::int32_t kRightMargin = 60;    // from the right edge of the screen to the button's left edge
constexpr std::int32_t kBottomMargin = 120;  // from the bottom edge to the button's top edge

// The start of a span of length BUTTON_SIDE moved inside [low, high); at low when it cannot fit.
std::int32_t PullInside(std::int32_t start, std::int32_t low, std::int32_t high) {
  return std::max(low, std::min(start, high - BUTTON_SIDE));
}

std::int64_t Area(const PixelRect& r) {
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  return static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
}

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
  return PixelRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom)};
}

}  // namespace

PixelRect ButtonStartPlace(std::int32_t screenWidth, std::int32_t screenHeight, const PixelRect& primaryWorkArea) {
  const std::int32_t left = PullInside(screenWidth - kRightMargin, primaryWorkArea.left, primaryWorkArea.right);
  const std::int32_t top = PullInside(screenHeight - kBottomMargin, primaryWorkArea.top, primaryWorkArea.bottom);
  return PixelRect{left, top, left + BUTTON_SIDE, top + BUTTON_SIDE};
}

bool WhollyOnWorkAreas(const PixelRect& place, const std::vector<PixelRect>& workAreas) {
  const std::int64_t whole = Area(place);
  if (whole == 0) return false;
  std::int64_t covered = 0;
  for (std::size_t i = 0; i < workAreas.size(); ++i) {
    // Mirrored displays report the same area twice: count it once.
    if (std::find(workAreas.begin(), workAreas.begin() + static_cast<std::ptrdiff_t>(i), workAreas[i]) !=
        workAreas.begin() + static_cast<std::ptrdiff_t>(i)) {
      continue;
    }
    covered += Area(Intersection(place, workAreas[i]));
  }
  return covered >= whole;
}

PixelRect ButtonPlaceAfterDisplayChange(const PixelRect& current, bool userDragged, const PixelRect& startPlace,
                                        const std::vector<PixelRect>& workAreas) {
  if (userDragged && WhollyOnWorkAreas(current, workAreas)) return current;
  return startPlace;
}
