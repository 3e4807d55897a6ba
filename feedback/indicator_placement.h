// Where the right-click ring goes, decided from what the user-interface thread can read when it
// handles a showing request (no window calls).
//
// A program without DPI awareness places windows in its own, logical, coordinates, while the
// low-level mouse hook reports physical pixels. The cursor read at handling time is already in the
// program's coordinates and does not depend on the hook, which the system may have removed after a
// stall or which sees nothing while an elevated window has the input.
#pragma once

#include <cstdint>
#include <optional>

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

struct PointerReadings {
  // The cursor, read when the request is handled, in the program's coordinates; none when the read failed.
  std::optional<ScreenPoint> Cursor;
  // The hook's latest move as the hook reported it (physical pixels); none when no move was seen.
  std::optional<ScreenPoint> HookPoint;
  // HookPoint converted into the program's coordinates; none when the conversion failed.
  std::optional<ScreenPoint> HookPointConverted;
};

// The ring's centre: the cursor; else the hook's point, converted when that worked, as reported
// otherwise (a failed conversion never loses the position); none when nothing is known.
std::optional<ScreenPoint> IndicatorCentre(const PointerReadings& readings);

// Top-left corner of the 127-pixel indicator window whose pixel (63, 63) lies on the centre. Never
// clamped: near a screen edge the window is partly off the screen.
ScreenPoint IndicatorTopLeft(ScreenPoint centre);
