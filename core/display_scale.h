// Display scale arithmetic: sizes drawn for 100 % (96 dots per inch) converted to another scale.
#pragma once

#include <cstdint>

constexpr std::uint32_t BASE_DPI = 96;

// A length of the 100 % design at dpi, to the nearest pixel; a tie goes to the smaller length
// (127 px at 150 % is 190, 50 px at 125 % is 62). Never less than 1 for a positive length.
constexpr std::int32_t ScaleToDpi(std::int32_t length, std::uint32_t dpi) {
  if (length <= 0 || dpi == 0) return length;
  const std::int64_t scaled = (static_cast<std::int64_t>(length) * dpi + (BASE_DPI - 1) / 2) / BASE_DPI;
  return scaled < 1 ? 1 : static_cast<std::int32_t>(scaled);
}

// A length at dpi back to the 100 % design, by the same rule.
constexpr std::int32_t ScaleFromDpi(std::int32_t length, std::uint32_t dpi) {
  if (length <= 0 || dpi == 0) return length;
  return static_cast<std::int32_t>((static_cast<std::int64_t>(length) * BASE_DPI + (dpi - 1) / 2) / dpi);
}

// A length measured at fromDpi, at toDpi, to the nearest pixel (a tie goes to the shorter length,
// either sign): a point's offset inside a window whose size follows its scale. Kept as measured and
// scaled from there each time, so a way to another scale and back gives the length measured.
constexpr std::int32_t RescaleLength(std::int32_t length, std::uint32_t toDpi, std::uint32_t fromDpi) {
  if (fromDpi == 0 || toDpi == 0 || toDpi == fromDpi) return length;
  const std::int64_t scaled = static_cast<std::int64_t>(length) * toDpi;
  const std::int64_t half = (static_cast<std::int64_t>(fromDpi) - 1) / 2;
  return static_cast<std::int32_t>(scaled >= 0 ? (scaled + half) / fromDpi : -((-scaled + half) / fromDpi));
}
