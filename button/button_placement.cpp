#include "button/button_placement.h"

#include <algorithm>

namespace {

constexpr std::int32_t kRightMargin = 60;    // from the right edge of the screen to the button's left edge
constexpr std::int32_t kBottomMargin = 120;  // from the bottom edge to the button's top edge

// The start of a span of this length moved inside [low, high); at low when it cannot fit.
std::int32_t PullInside(std::int32_t start, std::int32_t length, std::int32_t low, std::int32_t high) {
  return std::max(low, std::min(start, high - length));
}

std::int64_t Area(const PixelRect& r) {
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  return static_cast<std::int64_t>(r.right - r.left) * (r.bottom - r.top);
}

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
  return PixelRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom)};
}

// Squared distance from a point to a rectangle (0 inside).
std::int64_t DistanceSquared(PixelPoint p, const PixelRect& r) {
  const std::int64_t dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
  const std::int64_t dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
  return dx * dx + dy * dy;
}

// offset * to / from, to the nearest pixel (a tie goes to the smaller offset).
std::int32_t ScaleOffset(std::int32_t offset, std::int32_t to, std::int32_t from) {
  if (from <= 0 || to == from) return offset;
  const std::int64_t scaled = static_cast<std::int64_t>(offset) * to;
  const std::int64_t half = (from - 1) / 2;
  return static_cast<std::int32_t>(scaled >= 0 ? (scaled + half) / from : -((-scaled + half) / from));
}

PixelPoint Centre(const PixelRect& r) { return PixelPoint{r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2}; }

}  // namespace

PixelRect ButtonStartPlace(std::int32_t screenWidth, std::int32_t screenHeight, const PixelRect& primaryWorkArea,
                           std::uint32_t dpi) {
  const std::int32_t side = ButtonSide(dpi);
  const std::int32_t left =
      PullInside(screenWidth - ScaleToDpi(kRightMargin, dpi), side, primaryWorkArea.left, primaryWorkArea.right);
  const std::int32_t top =
      PullInside(screenHeight - ScaleToDpi(kBottomMargin, dpi), side, primaryWorkArea.top, primaryWorkArea.bottom);
  return PixelRect{left, top, left + side, top + side};
}

std::size_t MonitorAtPoint(PixelPoint point, const std::vector<ButtonMonitor>& monitors) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < monitors.size(); ++i) {
    if (DistanceSquared(point, monitors[i].area) < DistanceSquared(point, monitors[best].area)) best = i;
  }
  return best;
}

std::size_t MonitorOfPlace(const PixelRect& place, const std::vector<ButtonMonitor>& monitors) {
  std::size_t best = 0;
  std::int64_t bestArea = 0;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const std::int64_t shared = Area(Intersection(place, monitors[i].area));
    if (shared > bestArea) {
      best = i;
      bestArea = shared;
    }
  }
  return bestArea > 0 ? best : MonitorAtPoint(Centre(place), monitors);
}

PixelRect ButtonResizedAround(const PixelRect& place, PixelPoint fixed, std::int32_t side) {
  const std::int32_t oldSide = place.right - place.left;
  const std::int32_t left = fixed.x - ScaleOffset(fixed.x - place.left, side, oldSide);
  const std::int32_t top = fixed.y - ScaleOffset(fixed.y - place.top, side, oldSide);
  return PixelRect{left, top, left + side, top + side};
}

PixelRect ButtonDragPlace(PixelPoint finger, PixelPoint grab, std::int32_t grabSide,
                          const std::vector<ButtonMonitor>& monitors) {
  const std::int32_t side = monitors.empty() ? grabSide : ButtonSide(monitors[MonitorAtPoint(finger, monitors)].dpi);
  const PixelRect grabbed{finger.x - grab.x, finger.y - grab.y, finger.x - grab.x + grabSide,
                          finger.y - grab.y + grabSide};
  return ButtonResizedAround(grabbed, finger, side);
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

PixelRect ButtonPlaceAfterDisplayChange(const PixelRect& current, bool userDragged, const PixelRect& startPlace,
                                        const std::vector<ButtonMonitor>& monitors) {
  if (!userDragged || monitors.empty()) return startPlace;
  const std::int32_t side = ButtonSide(monitors[MonitorOfPlace(current, monitors)].dpi);
  const PixelRect redrawn = ButtonResizedAround(current, Centre(current), side);
  std::vector<PixelRect> workAreas;
  for (const ButtonMonitor& m : monitors) workAreas.push_back(m.workArea);
  return ButtonPlaceAfterDisplayChange(redrawn, true, startPlace, workAreas);
}
