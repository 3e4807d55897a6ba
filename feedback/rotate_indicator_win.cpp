#include "feedback/rotate_indicator_win.h"

#include <new>
#include <optional>
#include <span>
#include <utility>

#include "core/app_state.h"
#include "feedback/indicator_rotation.h"

namespace {

BITMAPINFO PixelHeader(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // negative: top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const int rows = height < 0 ? -height : height;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * static_cast<DWORD>(rows) * 4;
  return info;
}

}  // namespace

std::unique_ptr<std::uint32_t[]> ReadBitmapPixels(int width, int height, HDC dc, HBITMAP bitmap) {
  if (width <= 0 || height <= 0) return nullptr;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::unique_ptr<std::uint32_t[]> pixels(new (std::nothrow) std::uint32_t[count]);
  if (!pixels) return nullptr;
  BITMAPINFO info = PixelHeader(width, -height);
  if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.get(), &info, DIB_RGB_COLORS) == 0) {
    return nullptr;
  }
  return pixels;
}

RotatedIndicator RotateIndicator(HDC sourceDC) {
  return RotateIndicator(sourceDC, AsBitmap(AppState.IndicatorBitmap), INDICATOR_SIDE);
}

RotatedIndicator RotateIndicator(HDC sourceDC, HBITMAP sourceBitmap, int side) {
  RotatedIndicator frame;
  const std::optional<IndicatorFrameGeometry> geometry = IndicatorFrameSize(AppState.IndicatorAngle, side);
  if (!geometry) return frame;
  const int width = geometry->width;
  const int height = geometry->height;

  // The bitmap is made first so that on every early return the DC goes first and frees it.
  UniqueGdiObject bitmap(CreateCompatibleBitmap(sourceDC, width, height));
  if (!bitmap) return frame;
  UniqueMemoryDc dc(CreateCompatibleDC(sourceDC));
  if (!dc) return frame;
  // The DC's own 1x1 bitmap goes with the DC; nothing to put back.
  if (!SelectObject(dc.get(), bitmap.get())) return frame;

  const HBITMAP turned = static_cast<HBITMAP>(bitmap.get());
  const std::unique_ptr<std::uint32_t[]> source = ReadBitmapPixels(side, side, sourceDC, sourceBitmap);
  if (!source) return frame;
  const std::unique_ptr<std::uint32_t[]> destination = ReadBitmapPixels(width, height, dc.get(), turned);
  if (!destination) return frame;

  const std::size_t count = IndicatorFramePixels(*geometry);
  const std::size_t sourcePixels = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
  if (!RenderIndicatorFrame(*geometry, std::span<const std::uint32_t>(source.get(), sourcePixels),
                            std::span<std::uint32_t>(destination.get(), count))) {
    return frame;
  }
  BITMAPINFO info = PixelHeader(width, height);  // bottom-up
  if (SetDIBits(dc.get(), turned, 0, static_cast<UINT>(height), destination.get(), &info, DIB_RGB_COLORS) == 0) {
    return frame;
  }

  frame.bitmap = std::move(bitmap);
  frame.dc = std::move(dc);
  frame.width = width;
  frame.height = height;
  return frame;
}
