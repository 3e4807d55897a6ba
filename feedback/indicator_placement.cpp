#include "feedback/indicator_placement.h"

#include <algorithm>

#include "core/display_scale.h"
#include "feedback/indicator_rotation.h"

std::optional<ScreenPoint> IndicatorCentre(const PointerReadings& readings) {
  if (readings.Cursor) return readings.Cursor;
  return readings.HookPoint;
}

std::optional<std::size_t> MonitorUnder(std::span<const MonitorScale> monitors, ScreenPoint point) {
  std::optional<std::size_t> nearest;
  std::int64_t nearestDistance = 0;
  for (std::size_t n = 0; n < monitors.size(); ++n) {
    const MonitorScale& m = monitors[n];
    if (m.right <= m.left || m.bottom <= m.top) continue;
    // Distance from the point to the rectangle, squared; 0 inside.
    const std::int64_t dx = point.x < m.left ? std::int64_t{m.left} - point.x
                            : point.x >= m.right ? std::int64_t{point.x} - (m.right - 1)
                                                 : 0;
    const std::int64_t dy = point.y < m.top ? std::int64_t{m.top} - point.y
                            : point.y >= m.bottom ? std::int64_t{point.y} - (m.bottom - 1)
                                                  : 0;
    const std::int64_t distance = dx * dx + dy * dy;
    if (!nearest || distance < nearestDistance) {
      nearest = n;
      nearestDistance = distance;
    }
  }
  return nearest;
}

std::int32_t IndicatorSideForDpi(std::uint32_t dpi) {
  return std::clamp(ScaleToDpi(INDICATOR_SIDE, dpi == 0 ? BASE_DPI : dpi), std::int32_t{16}, INDICATOR_MAX_SIDE);
}

IndicatorPlacement PlaceIndicator(ScreenPoint touch, std::span<const MonitorScale> monitors,
                                  std::uint32_t fallbackDpi) {
  IndicatorPlacement place;
  const std::optional<std::size_t> monitor = MonitorUnder(monitors, touch);
  place.dpi = monitor ? monitors[*monitor].dpi : fallbackDpi;
  if (place.dpi == 0) place.dpi = BASE_DPI;
  place.side = IndicatorSideForDpi(place.dpi);
  place.drawnSource = place.side != INDICATOR_SIDE;
  const std::int32_t offset = place.side / 2;  // 63 at 100 %
  place.topLeft = ScreenPoint{touch.x - offset, touch.y - offset};
  return place;
}
