#include "settings_ui/dialog_fit_logic.h"

std::int32_t StretchX(std::int32_t x, std::int32_t stretch) {
  const std::int64_t product = static_cast<std::int64_t>(x) * stretch;
  // Rounded up for both signs (controls can reach left of the client area).
  const std::int64_t quotient = product / FIT_NO_STRETCH;
  return static_cast<std::int32_t>(quotient * FIT_NO_STRETCH < product ? quotient + 1 : quotient);
}

namespace {
bool Fits(const TextRoom& room, std::int32_t stretch) {
  return room.Needed <= 0 || StretchX(room.Right, stretch) - StretchX(room.Left, stretch) >= room.Needed;
}
}  // namespace

std::int32_t FitStretch(const TextRoom* rooms, std::size_t count) {
  std::int32_t stretch = FIT_NO_STRETCH;
  // The rounded edges can take a pixel back from a control that fitted at a smaller stretch, so
  // the passes repeat until one changes nothing.
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t i = 0; i < count; ++i) {
      const TextRoom& room = rooms[i];
      const std::int32_t width = room.Right - room.Left;
      if (Fits(room, stretch) || width <= 0) continue;  // an empty control cannot be stretched into room
      // The ratio first, then up by thousandths until the rounded edges give the room.
      const auto ratio =
          static_cast<std::int32_t>((static_cast<std::int64_t>(room.Needed) * FIT_NO_STRETCH + width - 1) / width);
      if (ratio > stretch) stretch = ratio;
      while (!Fits(room, stretch)) ++stretch;
      changed = true;
    }
  }
  return stretch;
}
