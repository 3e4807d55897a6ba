#include "feedback/indicator_placement.h"

namespace {
constexpr std::int32_t kPointerOffset = 63;  // window pixel (63, 63) lies on the pointer
}  // namespace

std::optional<ScreenPoint> IndicatorCentre(const PointerReadings& readings) {
  if (readings.Cursor) return readings.Cursor;
  if (!readings.HookPoint) return std::nullopt;
  if (readings.HookPointConverted) return readings.HookPointConverted;
  return readings.HookPoint;
}

ScreenPoint IndicatorTopLeft(ScreenPoint centre) {
  return ScreenPoint{centre.x - kPointerOffset, centre.y - kPointerOffset};
}
