// Making room for texts: a dialog laid out in dialog units can still cut a text off at some
// scales, as text widths do not grow exactly with the font. The dialog is then stretched across,
// controls and all, just enough that every text fits; a layout whose texts fit stays as it is.
#pragma once

#include <cstddef>
#include <cstdint>

// Stretches are given in thousandths: 1000 leaves a layout as it is.
constexpr std::int32_t FIT_NO_STRETCH = 1000;

// A control's left and right edge (pixels from the client area's left edge) and the width its
// text needs (0: no text).
struct TextRoom {
  std::int32_t Left;
  std::int32_t Right;
  std::int32_t Needed;
};

// A horizontal position after a stretch, rounded up, so a stretched edge never moves left.
std::int32_t StretchX(std::int32_t x, std::int32_t stretch);

// The smallest stretch (at least FIT_NO_STRETCH) after which every control, its edges stretched
// by StretchX, is at least as wide as its text needs.
std::int32_t FitStretch(const TextRoom* rooms, std::size_t count);
