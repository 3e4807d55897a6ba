// The function button's three pictures drawn at any side, from the same description the asset
// generator draws the 50-pixel bitmaps from (res/gen/bitmaps.py, draw_mouse): a mouse on a
// dark-grey-to-white fade, one button red, a red frame in move mode. No window calls.
#pragma once

#include <cstdint>
#include <vector>

#include "button/function_button_logic.h"

// Rows top to bottom of side * side pixels, each red, green, blue. The arithmetic follows the
// generator step for step (double precision, supersampled 6 x 6, averaged in linear light), so at
// side 50 the result equals the shipped bitmaps.
std::vector<std::uint8_t> DrawButtonPicture(ButtonImage image, std::int32_t side);
