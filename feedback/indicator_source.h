// The ring's source image for a display scale, drawn from the same description as bitmap 150 (the
// 127-pixel ring of 100 %, made by res/gen/bitmaps.py): eight shaded discs with a darker
// rim and a gloss, evenly spaced on a ring, the first with a white core, on black.
//
// Drawn for the side it is shown at, never stretched from another size. Each pixel is either black
// (the colour key: transparent) or the full colour of the disc under the pixel's centre: the disc
// edges are not blended toward black, so no dark fringe shows against the desktop. Inside a disc,
// the boundaries of rim, gloss and core are smoothed by supersampling in linear light.
#pragma once

#include <cstdint>
#include <vector>

// side * side pixels, top-down rows, each a 32-bit word of blue, green, red and a zero fourth byte
// (the layout the rotation takes). Empty for a side below 16 or above INDICATOR_MAX_SIDE.
std::vector<std::uint32_t> DrawIndicatorSource(std::int32_t side);

// The same drawing flattened over black the way bitmap 150 was made (edge pixels darkened by their
// coverage, faint ones dropped): used to check that this description matches the generator's.
std::vector<std::uint32_t> DrawIndicatorSourceOverBlack(std::int32_t side);
