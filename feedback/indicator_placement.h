// Where the right-click ring goes and at which scale, decided from what the user-interface thread
// can read when it handles a showing request (no window calls).
//
// The program is aware of each monitor's scale, so every coordinate it handles is a physical pixel:
// the hook's point, the cursor, the monitors' places, the window's place. The cursor read at
// handling time does not depend on the hook, which the system may have removed after a stall or
// which sees nothing while an elevated window has the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

struct PointerReadings {
  // The cursor, read when the request is handled; none when the read failed.
  std::optional<ScreenPoint> Cursor;
  // The hook's latest move; none when no move was seen.
  std::optional<ScreenPoint> HookPoint;
};

// The ring's centre: the cursor; else the hook's point; none when nothing is known.
std::optional<ScreenPoint> IndicatorCentre(const PointerReadings& readings);

// A monitor: its rectangle (right and bottom excluded) and its scale in dots per inch.
struct MonitorScale {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::uint32_t dpi = 96;
};

// The monitor under a point: the one that holds it, else the nearest (as the system picks a
// monitor for a point off every monitor); none when there is no monitor.
std::optional<std::size_t> MonitorUnder(std::span<const MonitorScale> monitors, ScreenPoint point);

// Side of the ring (its window and its source image) at a scale: 127 at 100 %, 190 at 150 %,
// 254 at 200 %; never beyond the largest side the rotation takes.
std::int32_t IndicatorSideForDpi(std::uint32_t dpi);

struct IndicatorPlacement {
  std::uint32_t dpi = 96;          // scale of the monitor under the touch
  std::int32_t side = 127;         // window and source side
  bool drawnSource = false;        // false: bitmap 150 (the 100 % ring); true: drawn at `side`
  ScreenPoint topLeft;             // window place: pixel (side / 2, side / 2) lies on the touch
};

// The ring for a touch: drawn for the monitor under the touch point (fallbackDpi when no monitor is
// known), centred on it. Never clamped: near a screen edge the window is partly off the screen, and
// near the edge between two monitors it may lie mostly over the other one, at the touched one's scale.
IndicatorPlacement PlaceIndicator(ScreenPoint touch, std::span<const MonitorScale> monitors,
                                  std::uint32_t fallbackDpi);
