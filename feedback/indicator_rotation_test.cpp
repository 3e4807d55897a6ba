#include "feedback/indicator_rotation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

// The rotation written out plainly, one pixel at a time, exactly as the steps read: single
// precision between steps, double within, truncation for every conversion to an integer.
struct PlainFrame {
  int side = 127;
  double h = 63.5;  // the centre
  int x0 = 0, y0 = 0, width = 0, height = 0;
  float c = 0, s = 0, d = 0;
};

PlainFrame PlainGeometry(float angle, int side = 127) {
  PlainFrame f;
  f.side = side;
  f.h = side / 2.0;
  const double h = f.h;
  float t = (float)((double)angle + 180.0);
  if (t > 360.0f) t = (float)((double)t - 360.0);
  float r = (float)((double)t / 57.29577951);
  f.c = (float)std::cos((double)r);
  f.s = (float)std::sin((double)r);
  const double xs[4] = {0, (double)side, (double)side, 0};
  const double ys[4] = {0, 0, (double)side, (double)side};
  float tx[4], ty[4];
  for (int n = 0; n < 4; ++n) {
    tx[n] = (float)(h + (xs[n] - h) * (double)f.c - (ys[n] - h) * (double)f.s);
    ty[n] = (float)(h + (xs[n] - h) * (double)f.s + (ys[n] - h) * (double)f.c);
  }
  float minX = std::min({tx[0], tx[1], tx[2], tx[3]}), maxX = std::max({tx[0], tx[1], tx[2], tx[3]});
  float minY = std::min({ty[0], ty[1], ty[2], ty[3]}), maxY = std::max({ty[0], ty[1], ty[2], ty[3]});
  f.x0 = (int)(float)std::floor((double)minX);
  f.y0 = (int)(float)std::floor((double)minY);
  int x1 = (int)(float)std::ceil((double)maxX);
  int y1 = (int)(float)std::ceil((double)maxY);
  f.width = x1 - f.x0;
  f.height = y1 - f.y0;
  f.d = (float)((double)f.s * (double)f.s + (double)f.c * (double)f.c);
  return f;
}

// u and v of buffer row i, loop index j.
void PlainMapped(const PlainFrame& f, int i, int j, float& u, float& v) {
  int X = f.x0 + j;
  int Y = f.y0 + i;
  const double h = f.h;
  u = (float)(h + (((double)X - h) * (double)f.c + ((double)Y - h) * (double)f.s) / (double)f.d);
  v = (float)(h - ((double)X - h) * (double)f.s + ((double)Y - h) * (double)f.c);
}

void PlainFill(const PlainFrame& f, const std::vector<std::uint32_t>& source,
               std::vector<std::uint32_t>& dest) {
  for (int i = 0; i < f.height; ++i) {
    for (int j = 0; j < f.width; ++j) {
      float u, v;
      PlainMapped(f, i, j, u, v);
      int U = (int)u;
      int V = (int)v;
      std::uint32_t& pixel = dest[(std::size_t)i * f.width + (f.width - 1 - j)];
      if (U >= 0 && U <= f.side - 1 && V >= 0 && V <= f.side - 1) {
        pixel = source[(std::size_t)V * f.side + U];
      } else {
        unsigned char* bytes = reinterpret_cast<unsigned char*>(&pixel);
        bytes[0] = 0;  // blue
        bytes[1] = 0;  // green
        bytes[2] = 0;  // red
      }
    }
  }
}

// Source with a different colour at every pixel, none black, and a varied fourth byte.
std::vector<std::uint32_t> DistinctSource() {
  std::vector<std::uint32_t> pixels(INDICATOR_PIXELS);
  for (std::uint32_t row = 0; row < 127; ++row) {
    for (std::uint32_t col = 0; col < 127; ++col) {
      const std::uint32_t blue = col + 1, green = row + 1, red = (col * 7 + row * 13) & 0xFF;
      const std::uint32_t fourth = (col ^ (row << 1)) & 0xFF;
      pixels[row * 127 + col] = blue | green << 8 | red << 16 | fourth << 24;
    }
  }
  return pixels;
}

std::uint32_t SourceColumn(std::uint32_t pixel) { return (pixel & 0xFF) - 1; }
std::uint32_t SourceRow(std::uint32_t pixel) { return ((pixel >> 8) & 0xFF) - 1; }

// A source of any side with a different colour at every pixel, none black.
std::vector<std::uint32_t> DistinctSource(int side) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(side) * side);
  for (std::size_t n = 0; n < pixels.size(); ++n) {
    pixels[n] = static_cast<std::uint32_t>(n + 1) | static_cast<std::uint32_t>((n * 37) & 0xFF) << 24;
  }
  return pixels;
}

// Destination as it might come from a fresh bitmap: anything, here a pattern with a set fourth byte.
std::vector<std::uint32_t> Prefilled(std::size_t pixels) {
  std::vector<std::uint32_t> dest(pixels);
  for (std::size_t n = 0; n < pixels; ++n) {
    dest[n] = 0x5A000000u ^ static_cast<std::uint32_t>(n * 2654435761u);
  }
  return dest;
}

struct Rendered {
  IndicatorFrameGeometry frame;
  std::vector<std::uint32_t> pixels;
};

Rendered Render(float angle, const std::vector<std::uint32_t>& source) {
  Rendered r;
  const auto frame = IndicatorFrameSize(angle);
  EXPECT_TRUE(frame.has_value());
  if (!frame) return r;
  r.frame = *frame;
  r.pixels = Prefilled(IndicatorFramePixels(r.frame));
  EXPECT_TRUE(RenderIndicatorFrame(r.frame, source, r.pixels));
  return r;
}

// The frame as it shows on screen, top row first (the buffer is bottom-up).
std::uint32_t Shown(const Rendered& r, int col, int rowFromTop) {
  return r.pixels[static_cast<std::size_t>(r.frame.height - 1 - rowFromTop) * r.frame.width + col];
}

bool IsBlack(std::uint32_t pixel) { return (pixel & 0x00FFFFFFu) == 0; }

// Renders with the product and the plain steps and requires the same geometry and the same bytes.
void ExpectSameAsPlain(float angle, const std::vector<std::uint32_t>& source, int side = 127) {
  SCOPED_TRACE(testing::Message() << "angle " << angle << ", side " << side);
  const PlainFrame plain = PlainGeometry(angle, side);
  const auto frame = IndicatorFrameSize(angle, side);
  ASSERT_TRUE(frame.has_value());
  ASSERT_EQ(frame->side, side);
  ASSERT_EQ(frame->x0, plain.x0);
  ASSERT_EQ(frame->y0, plain.y0);
  ASSERT_EQ(frame->width, plain.width);
  ASSERT_EQ(frame->height, plain.height);
  ASSERT_EQ(std::memcmp(&frame->c, &plain.c, sizeof(float)), 0);
  ASSERT_EQ(std::memcmp(&frame->s, &plain.s, sizeof(float)), 0);
  ASSERT_EQ(std::memcmp(&frame->d, &plain.d, sizeof(float)), 0);

  std::vector<std::uint32_t> expected = Prefilled(IndicatorFramePixels(*frame));
  std::vector<std::uint32_t> actual = expected;
  PlainFill(plain, source, expected);
  ASSERT_TRUE(RenderIndicatorFrame(*frame, source, actual));
  std::size_t wrong = 0;
  std::size_t first = 0;
  for (std::size_t n = 0; n < expected.size(); ++n) {
    if (expected[n] != actual[n] && wrong++ == 0) first = n;
  }
  EXPECT_EQ(wrong, 0u) << "first at buffer row " << first / frame->width << ", column "
                       << first % frame->width;
}

TEST(IndicatorRotation, FrameSizesAndPlacementForAnimationSteps) {
  int divisorNotOne = 0;
  for (int step = 0; step < 24; ++step) {
    const int angle = step * 15;
    int side = 157;
    if (angle % 180 == 0) side = 129;
    else if (angle % 90 == 0) side = 128;
    else if (angle % 45 == 0) side = 181;
    else if (angle % 30 == 0) side = 175;
    const auto frame = IndicatorFrameSize(static_cast<float>(angle));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, side) << angle;
    EXPECT_EQ(frame->height, side) << angle;
    EXPECT_EQ(IndicatorFramePixels(*frame), static_cast<std::size_t>(side) * side);
    // The turned square stays centred on the source centre.
    EXPECT_LE(std::abs(2 * frame->x0 + frame->width - 127), 1) << angle;
    EXPECT_LE(std::abs(2 * frame->y0 + frame->height - 127), 1) << angle;
    EXPECT_NEAR(frame->d, 1.0f, 2.5e-7f) << angle;
    if (frame->d != 1.0f) ++divisorNotOne;
  }
  // D is 1 at most steps but not at all, so the division cannot simply be dropped.
  EXPECT_GT(divisorNotOne, 0);
  EXPECT_LT(divisorNotOne, 24);
  EXPECT_EQ(IndicatorFrameOffset(129), -1);
  EXPECT_EQ(IndicatorFrameOffset(157), -15);
  EXPECT_EQ(IndicatorFrameOffset(175), -24);
  EXPECT_EQ(IndicatorFrameOffset(181), -27);
  EXPECT_EQ(IndicatorFrameOffset(128), 0);
  EXPECT_EQ(IndicatorFrameOffset(127), 0);
}

TEST(IndicatorRotation, SameBytesAsPlainStepsAtAnimationSteps) {
  const auto source = DistinctSource();
  for (int step = 0; step < 24; ++step) ExpectSameAsPlain(static_cast<float>(step * 15), source);
}

TEST(IndicatorRotation, SameBytesAsPlainStepsAtRandomAngles) {
  const auto source = DistinctSource();
  std::mt19937 rng(20240611u);
  for (int n = 0; n < 3000; ++n) {
    const float angle = static_cast<float>(rng() >> 8) * (360.0f / 16777216.0f);
    ExpectSameAsPlain(angle, source);
    if (HasFailure()) return;
  }
  // Close to the quarter turns, where every mapped value sits next to a whole number.
  for (int n = 0; n < 800; ++n) {
    const float quarter = static_cast<float>((rng() % 4) * 90);
    const float spread = (n % 2 == 0) ? 0.5f : 0.0005f;
    const float offset = (static_cast<float>(rng() >> 8) / 16777216.0f - 0.5f) * 2.0f * spread;
    float angle = quarter + offset;
    if (angle < 0.0f) angle += 360.0f;
    ExpectSameAsPlain(angle, source);
    if (HasFailure()) return;
  }
  // Angles the animation never makes but the caller could pass.
  for (float angle : {-15.0f, -0.0f, 180.00002f, 359.99997f, 360.0f, 540.0f, 725.5f, 1.0e6f, -3.0e7f}) {
    ExpectSameAsPlain(angle, source);
  }
}

// The ring drawn for other scales goes through the same renderer: the same bytes as the plain
// steps for the sides of 125 to 500 % (and one odd side between), at the animation's steps, at
// random angles and close to the quarter turns, where the fixed-point margin matters most.
TEST(IndicatorRotation, SameBytesAsPlainStepsForEverySideOfTheRing) {
  std::mt19937 rng(20261208u);
  for (int side : {159, 190, 222, 254, 318, 381, 140, 635}) {
    const auto source = DistinctSource(side);
    const int randomAngles = side > 400 ? 60 : 400;
    for (int step = 0; step < 24; ++step) ExpectSameAsPlain(static_cast<float>(step * 15), source, side);
    for (int n = 0; n < randomAngles; ++n) {
      float angle = static_cast<float>(rng() >> 8) * (360.0f / 16777216.0f);
      if (n % 2 == 1) {
        angle = static_cast<float>((rng() % 4) * 90) + (static_cast<float>(rng() >> 8) / 16777216.0f - 0.5f) * 0.01f;
        if (angle < 0.0f) angle += 360.0f;
      }
      ExpectSameAsPlain(angle, source, side);
      if (HasFailure()) return;
    }
    // The turned square fits the frame and stays centred on the source centre.
    const auto frame = IndicatorFrameSize(45.0f, side);
    ASSERT_TRUE(frame.has_value());
    EXPECT_LE(frame->width, INDICATOR_FRAME_MAX_SIDE);
    EXPECT_LE(std::abs(2 * frame->x0 + frame->width - side), 1) << side;
    EXPECT_EQ(IndicatorFrameOffset(frame->width, side), (side - frame->width) / 2);
  }
  EXPECT_FALSE(IndicatorFrameSize(0.0f, 0).has_value());
  EXPECT_FALSE(IndicatorFrameSize(0.0f, INDICATOR_MAX_SIDE + 1).has_value());
  // A source smaller than its side says is refused.
  const auto frame = IndicatorFrameSize(30.0f, 190);
  ASSERT_TRUE(frame.has_value());
  std::vector<std::uint32_t> buffer = Prefilled(IndicatorFramePixels(*frame));
  EXPECT_FALSE(RenderIndicatorFrame(*frame, DistinctSource(189), buffer));
}

TEST(IndicatorRotation, OnlySourcePixelsOrBlackWithFourthByteKept) {
  const auto source = DistinctSource();
  std::unordered_map<std::uint32_t, int> inSource;
  for (std::uint32_t pixel : source) inSource[pixel] = 1;
  // A source that is mostly black: black stays black.
  std::vector<std::uint32_t> ring(INDICATOR_PIXELS, 0x77000000u);
  for (int n = 0; n < 127 * 127; n += 9) ring[n] = source[n];
  for (int step = 0; step < 24; ++step) {
    const float angle = static_cast<float>(step * 15);
    const Rendered r = Render(angle, source);
    const auto before = Prefilled(r.pixels.size());
    int black = 0;
    for (std::size_t n = 0; n < r.pixels.size(); ++n) {
      if (IsBlack(r.pixels[n])) {
        ++black;
        EXPECT_EQ(r.pixels[n], before[n] & 0xFF000000u) << angle;
      } else {
        EXPECT_EQ(inSource.count(r.pixels[n]), 1u) << angle;
      }
    }
    // The corners of the box lie outside the turned square; the inside is 127 * 127 samples.
    EXPECT_GT(black, 0);
    EXPECT_NEAR(static_cast<double>(r.pixels.size() - black), 127.0 * 127.0, 127.0 * 6) << angle;

    // Black source pixels are copied whole (their fourth byte is 0x77), so they stay black.
    const Rendered dark = Render(angle, ring);
    int copiedBlack = 0;
    for (std::size_t n = 0; n < dark.pixels.size(); ++n) {
      if (!IsBlack(dark.pixels[n])) {
        EXPECT_EQ(inSource.count(dark.pixels[n]), 1u) << angle;
      } else if (dark.pixels[n] == 0x77000000u) {
        ++copiedBlack;
      } else {
        EXPECT_EQ(dark.pixels[n], before[n] & 0xFF000000u) << angle;
      }
    }
    EXPECT_GT(copiedBlack, 127 * 127 / 2) << angle;
  }
}

// Finds where source pixel (col, row) or, as nearest sampling may skip it, a neighbour shows.
bool FindShown(const Rendered& r, int col, int row, int& x, int& y) {
  for (y = 0; y < r.frame.height; ++y) {
    for (x = 0; x < r.frame.width; ++x) {
      const std::uint32_t pixel = Shown(r, x, y);
      if (IsBlack(pixel)) continue;
      if (std::abs(static_cast<int>(SourceColumn(pixel)) - col) <= 1 &&
          std::abs(static_cast<int>(SourceRow(pixel)) - row) <= 1) {
        return true;
      }
    }
  }
  return false;
}

TEST(IndicatorRotation, TurnsClockwiseOnScreen) {
  const auto source = DistinctSource();
  // 0: the source as stored. The tiny sine of the half turn shifts parts of it by one pixel within
  // the 129 box, never more.
  const Rendered upright = Render(0.0f, source);
  for (int y = 1; y < 127; ++y) {
    for (int x = 1; x < 127; ++x) {
      const std::uint32_t pixel = Shown(upright, x, y);
      ASSERT_FALSE(IsBlack(pixel)) << x << "," << y;
      const int right = x - static_cast<int>(SourceColumn(pixel));
      const int down = y - static_cast<int>(SourceRow(pixel));
      ASSERT_TRUE(right == 0 || right == 1) << x << "," << y;
      ASSERT_TRUE(down == 0 || down == 1) << x << "," << y;
    }
  }
  // 90: the top edge on the right, the left edge at the top.
  const Rendered quarter = Render(90.0f, source);
  for (int y = 1; y < 126; ++y) {
    for (int x = 1; x < 126; ++x) {
      const std::uint32_t pixel = Shown(quarter, x, y);
      ASSERT_FALSE(IsBlack(pixel)) << x << "," << y;
      EXPECT_LE(std::abs(static_cast<int>(SourceRow(pixel)) - (126 - x)), 1) << x << "," << y;
      EXPECT_LE(std::abs(static_cast<int>(SourceColumn(pixel)) - y), 1) << x << "," << y;
    }
  }
  // 45: what is at the upper left of the source shows at the top, in the middle.
  const Rendered eighth = Render(45.0f, source);
  int x, y;
  ASSERT_TRUE(FindShown(eighth, 20, 20, x, y));
  EXPECT_NEAR(x, 90, 3);
  EXPECT_NEAR(y, 90.5 - 43.5 * std::sqrt(2.0), 3);
}

TEST(IndicatorRotation, MappedCoordinatesJustBelowZeroTakeTheFirstLine) {
  const auto source = DistinctSource();
  int firstLine = 0, beyond = 0;
  for (float angle : {7.5f, 15.0f, 30.0f, 45.0f, 100.0f, 200.0f, 333.0f}) {
    const PlainFrame plain = PlainGeometry(angle);
    const Rendered r = Render(angle, source);
    const auto before = Prefilled(r.pixels.size());
    for (int i = 0; i < plain.height; ++i) {
      for (int j = 0; j < plain.width; ++j) {
        float u, v;
        PlainMapped(plain, i, j, u, v);
        const std::size_t at = static_cast<std::size_t>(i) * plain.width + (plain.width - 1 - j);
        const std::uint32_t pixel = r.pixels[at];
        const bool vInside = v > -1.0f && v < 127.0f;
        if (u > -1.0f && u < 0.0f && vInside) {
          ++firstLine;
          ASSERT_FALSE(IsBlack(pixel)) << angle;
          EXPECT_EQ(SourceColumn(pixel), 0u) << angle;
          EXPECT_EQ(SourceRow(pixel), static_cast<std::uint32_t>(static_cast<int>(v))) << angle;
        } else if ((u <= -1.0f || u >= 127.0f) && vInside) {
          ++beyond;
          EXPECT_EQ(pixel, before[at] & 0xFF000000u) << angle;
        }
      }
    }
  }
  EXPECT_GT(firstLine, 100);
  EXPECT_GT(beyond, 100);
}

TEST(IndicatorRotation, RefusesBuffersThatAreTooSmall) {
  const auto source = DistinctSource();
  const auto frame = IndicatorFrameSize(45.0f);
  ASSERT_TRUE(frame.has_value());
  const std::size_t need = IndicatorFramePixels(*frame);

  // One pixel short: refused and untouched.
  std::vector<std::uint32_t> buffer = Prefilled(need);
  const auto original = buffer;
  EXPECT_FALSE(RenderIndicatorFrame(*frame, source, std::span(buffer).first(need - 1)));
  EXPECT_EQ(buffer, original);
  EXPECT_FALSE(RenderIndicatorFrame(*frame, std::span(source).first(INDICATOR_PIXELS - 1), buffer));
  EXPECT_EQ(buffer, original);
  EXPECT_FALSE(RenderIndicatorFrame(*frame, source, {}));

  // Larger than needed: only the frame's pixels are written.
  std::vector<std::uint32_t> roomy = Prefilled(need + 64);
  ASSERT_TRUE(RenderIndicatorFrame(*frame, source, roomy));
  const auto fresh = Prefilled(need + 64);
  EXPECT_TRUE(std::equal(roomy.begin() + static_cast<std::ptrdiff_t>(need), roomy.end(),
                         fresh.begin() + static_cast<std::ptrdiff_t>(need)));

  // Geometry that no angle gives.
  IndicatorFrameGeometry broken = *frame;
  broken.width = 0;
  EXPECT_FALSE(RenderIndicatorFrame(broken, source, buffer));
  broken = *frame;
  broken.height = 100000;
  EXPECT_FALSE(RenderIndicatorFrame(broken, source, buffer));
  broken = *frame;
  broken.c = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(RenderIndicatorFrame(broken, source, buffer));
  EXPECT_EQ(buffer, original);

  EXPECT_FALSE(IndicatorFrameSize(std::numeric_limits<float>::quiet_NaN()).has_value());
  EXPECT_FALSE(IndicatorFrameSize(std::numeric_limits<float>::infinity()).has_value());
}

}  // namespace
