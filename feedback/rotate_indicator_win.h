// GDI side of the indicator rotation: pixels in and out of bitmaps, and one turned frame.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "win/win_handles.h"

// Reads width by height pixels of bitmap (held by dc) into a new top-down 32-bit buffer: bytes blue,
// green, red, unused. Null when the buffer cannot be allocated or no line was read.
std::unique_ptr<std::uint32_t[]> ReadBitmapPixels(int width, int height, HDC dc, HBITMAP bitmap);

// One turned frame: a memory DC with the frame's bitmap selected. The DC is declared last so that it
// is deleted first, which leaves the bitmap free to be deleted.
struct RotatedIndicator {
  UniqueGdiObject bitmap;
  UniqueMemoryDc dc;
  int width = 0;
  int height = 0;
};

// Turns the ring's source image (sourceBitmap, side by side pixels, selected in sourceDC) by
// AppState.IndicatorAngle. When any part of the frame cannot be made (DC, bitmap, buffers, pixel
// transfer), everything made so far is released and the result has no DC: the caller shows nothing
// for that frame.
RotatedIndicator RotateIndicator(HDC sourceDC, HBITMAP sourceBitmap, int side);

// The 100 % ring: AppState.IndicatorBitmap, 127 by 127.
RotatedIndicator RotateIndicator(HDC sourceDC);
