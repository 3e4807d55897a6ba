// Turning the indicator image for one animation frame, on plain pixel buffers (no GDI here).
//
// The frame is made by inverse mapping with nearest-pixel sampling: each result pixel is turned back
// about the image centre (side / 2 on both axes, 63.5 for the 127-pixel ring of 100 %) and takes
// the one source pixel it lands on, or black when it lands outside. The arithmetic is single precision between steps and double within a step, so the
// frame sizes and pixels are the same on every machine; the renderer is a fast rewrite that gives
// the same bytes as the plain per-pixel formulas.
//
// Pixels are 32-bit words holding the bytes blue, green, red and an unused fourth byte, in memory
// order (little-endian words). The source is the square image of the ring drawn for the display's
// scale (127 by 127 at 100 %), read top-down. The destination is
// laid out as the bottom-up buffer that is handed to SetDIBits: buffer row i becomes row
// height - 1 - i of the bitmap counted from the top, and each row is filled from its right end. With
// the half turn the geometry adds to the angle, the image then shows turned clockwise on screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Side of the ring at 100 %, and its pixel count.
constexpr std::int32_t INDICATOR_SIDE = 127;
constexpr std::size_t INDICATOR_PIXELS = static_cast<std::size_t>(INDICATOR_SIDE) * INDICATOR_SIDE;

// The largest source side the renderer accepts (500 % is 635), and the largest frame side: the
// turned square needs its side times the square root of 2, plus 2 (181 for 127, 900 for 635).
constexpr std::int32_t INDICATOR_MAX_SIDE = 640;
constexpr std::int32_t INDICATOR_FRAME_MAX_SIDE = 912;

struct IndicatorFrameGeometry {
  std::int32_t side = INDICATOR_SIDE;  // side of the square source
  std::int32_t x0 = 0;      // left edge of the bounding box, in source coordinates
  std::int32_t y0 = 0;      // top edge of the bounding box
  std::int32_t width = 0;   // frame size in pixels, never less than the side
  std::int32_t height = 0;
  float c = 0.0f;  // cosine and sine of the angle plus a half turn
  float s = 0.0f;
  float d = 0.0f;  // s*s + c*c in single precision: 1 at most angles, not at all
};

// Geometry of the frame for an angle in degrees (kept in [0, 360) by the animation) and a source of
// the given side. None for an angle that is not a finite number or a side outside
// 1..INDICATOR_MAX_SIDE.
std::optional<IndicatorFrameGeometry> IndicatorFrameSize(float angle, std::int32_t side = INDICATOR_SIDE);

// Pixels in a frame buffer: width times height.
std::size_t IndicatorFramePixels(const IndicatorFrameGeometry& frame);

// Renders the turned image into destination. Result pixels that map inside the source take the
// whole source word; the others get blue, green and red set to 0 and keep their fourth byte. Returns
// false, writing nothing, when the source has fewer than side * side pixels, the destination fewer
// than width * height, or the geometry is far from anything IndicatorFrameSize makes (a source side
// outside 1..INDICATOR_MAX_SIDE, a frame side outside 1..INDICATOR_FRAME_MAX_SIDE, c, s or D not
// finite or out of range).
bool RenderIndicatorFrame(const IndicatorFrameGeometry& frame, std::span<const std::uint32_t> source,
                          std::span<std::uint32_t> destination);

// Where a frame of the given side goes in the indicator window (as wide as the source), on both
// axes: the frame is centred, the halving truncates toward zero, so in the 127 window 129 gives -1
// and 128 gives 0.
constexpr std::int32_t IndicatorFrameOffset(std::int32_t frameSide, std::int32_t windowSide = INDICATOR_SIDE) {
  return (windowSide - frameSide) / 2;
}
