// The GDI side of the rotation, on the real indicator bitmap from the linked resources.
#include "feedback/rotate_indicator_win.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/app_state.h"
#include "feedback/indicator_rotation.h"
#include "res/resource_ids.h"

namespace {

constexpr int kSide = INDICATOR_SIDE;
// Twice as many GDI objects as a process may hold (10000 on Windows, 16384 under Wine).
constexpr int kManyFrames = 10000;

class IndicatorGdiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bitmap_.reset(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_INDICATOR)));
    ASSERT_TRUE(bitmap_);
    source_.reset(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(source_);
    select_ = SelectObject(source_.get(), bitmap_.get());
    savedBitmap_ = AppState.IndicatorBitmap;
    savedAngle_ = AppState.IndicatorAngle;
    AppState.IndicatorBitmap = bitmap_.get();
  }
  void TearDown() override {
    SelectObject(source_.get(), select_);
    AppState.IndicatorBitmap = savedBitmap_;
    AppState.IndicatorAngle = savedAngle_;
  }

  HBITMAP Bitmap() const { return static_cast<HBITMAP>(bitmap_.get()); }

  std::vector<std::uint32_t> Source() const {
    auto pixels = ReadBitmapPixels(kSide, kSide, source_.get(), Bitmap());
    if (!pixels) return {};
    return std::vector<std::uint32_t>(pixels.get(), pixels.get() + INDICATOR_PIXELS);
  }

  UniqueGdiObject bitmap_;
  UniqueMemoryDc source_;
  HGDIOBJ select_ = nullptr;
  void* savedBitmap_ = nullptr;
  float savedAngle_ = 0.0f;
};

}  // namespace

TEST_F(IndicatorGdiTest, ReadBitmapPixelsIsTopDownBlueGreenRed) {
  const std::vector<std::uint32_t> pixels = Source();
  ASSERT_EQ(pixels.size(), INDICATOR_PIXELS);
  std::size_t black = 0;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const COLORREF c = GetPixel(source_.get(), x, y);
      const std::uint32_t p = pixels[static_cast<std::size_t>(y) * kSide + x] & 0x00FFFFFFu;
      ASSERT_EQ(p, (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c))
          << x << "," << y;
      black += p == 0;
    }
  }
  // About half black, the centre included: the image is the ring of discs, not a blank.
  EXPECT_GT(black, INDICATOR_PIXELS / 4);
  EXPECT_LT(black, INDICATOR_PIXELS * 3 / 4);
  EXPECT_EQ(pixels[63 * kSide + 63] & 0x00FFFFFFu, 0u);
}

TEST_F(IndicatorGdiTest, ReadBitmapPixelsGivesNothingForAFailedRead) {
  EXPECT_EQ(ReadBitmapPixels(kSide, kSide, source_.get(), nullptr), nullptr);
  EXPECT_EQ(ReadBitmapPixels(0, kSide, source_.get(), Bitmap()), nullptr);
}

TEST_F(IndicatorGdiTest, EveryStepGivesTheRenderedFrameTurnedUpright) {
  const std::vector<std::uint32_t> source = Source();
  ASSERT_EQ(source.size(), INDICATOR_PIXELS);
  for (int step = 0; step < 24; ++step) {
    const float angle = static_cast<float>(step * 15);
    AppState.IndicatorAngle = angle;
    const RotatedIndicator frame = RotateIndicator(source_.get());
    ASSERT_TRUE(frame.dc) << angle;
    const auto geometry = IndicatorFrameSize(angle);
    ASSERT_TRUE(geometry);
    ASSERT_EQ(frame.width, geometry->width) << angle;
    ASSERT_EQ(frame.height, geometry->height) << angle;
    EXPECT_EQ(GetCurrentObject(frame.dc.get(), OBJ_BITMAP), frame.bitmap.get());

    std::vector<std::uint32_t> buffer(IndicatorFramePixels(*geometry), 0);
    ASSERT_TRUE(RenderIndicatorFrame(*geometry, source, buffer));
    const auto shown =
        ReadBitmapPixels(frame.width, frame.height, frame.dc.get(), static_cast<HBITMAP>(frame.bitmap.get()));
    ASSERT_NE(shown, nullptr);
    std::size_t differences = 0;
    for (int y = 0; y < frame.height; ++y) {
      for (int x = 0; x < frame.width; ++x) {
        const std::uint32_t want = buffer[static_cast<std::size_t>(frame.height - 1 - y) * frame.width + x];
        differences += (shown[static_cast<std::size_t>(y) * frame.width + x] & 0x00FFFFFFu) != (want & 0x00FFFFFFu);
      }
    }
    EXPECT_EQ(differences, 0u) << angle;
  }
  AppState.IndicatorAngle = 45.0f;
  EXPECT_EQ(RotateIndicator(source_.get()).width, 181);
  AppState.IndicatorAngle = 90.0f;
  EXPECT_EQ(RotateIndicator(source_.get()).width, 128);
  AppState.IndicatorAngle = 0.0f;
  EXPECT_EQ(RotateIndicator(source_.get()).width, 129);
}

TEST_F(IndicatorGdiTest, FramesThatFailOrSucceedReleaseEverythingTheyMade) {
  const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  AppState.IndicatorAngle = std::nanf("");  // no geometry
  EXPECT_FALSE(RotateIndicator(source_.get()).dc);

  // The source read fails after the frame's DC and bitmap exist. Leaking them would use up the
  // process's GDI handles long before the end, and the last frame below could not be made.
  AppState.IndicatorAngle = 45.0f;
  AppState.IndicatorBitmap = nullptr;
  for (int i = 0; i < kManyFrames; ++i) {
    const RotatedIndicator frame = RotateIndicator(source_.get());
    ASSERT_FALSE(frame.dc) << i;
    ASSERT_FALSE(frame.bitmap) << i;
    ASSERT_EQ(frame.width, 0);
  }
  AppState.IndicatorBitmap = bitmap_.get();
  for (int i = 0; i < kManyFrames; ++i) ASSERT_TRUE(RotateIndicator(source_.get()).dc) << i;
  const DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (before != 0) {
    EXPECT_LE(after, before + 2);  // where the system counts them
  }
}
