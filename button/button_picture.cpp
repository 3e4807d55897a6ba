#include "button/button_picture.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Rgba {
  double r, g, b, a;
};

constexpr Rgba Hex(std::uint32_t hex, double alpha = 1.0) {
  return Rgba{static_cast<double>(hex >> 16 & 255) / 255.0, static_cast<double>(hex >> 8 & 255) / 255.0,
              static_cast<double>(hex & 255) / 255.0, alpha};
}

Rgba Mix(const Rgba& c0, const Rgba& c1, double t) {
  return Rgba{c0.r + (c1.r - c0.r) * t, c0.g + (c1.g - c0.g) * t, c0.b + (c1.b - c0.b) * t,
              c0.a + (c1.a - c0.a) * t};
}

double SrgbToLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

// The conversion of the last value seen, for the runs of one solid colour.
struct LinearOf {
  double in = -1.0, out = 0.0;
  double operator()(double c) {
    if (c != in) {
      in = c;
      out = SrgbToLinear(c);
    }
    return out;
  }
};

double LinearToSrgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

double Clamp01(double t) { return std::max(0.0, std::min(1.0, t)); }

double Smoothstep(double e0, double e1, double x) {
  const double t = std::min(1.0, std::max(0.0, (x - e0) / (e1 - e0)));
  return t * t * (3 - 2 * t);
}

// Signed distances, negative inside.
double RoundRect(double x, double y, double x0, double y0, double x1, double y1, double r) {
  const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  const double hx = (x1 - x0) / 2 - r, hy = (y1 - y0) / 2 - r;
  const double qx = std::abs(x - cx) - hx, qy = std::abs(y - cy) - hy;
  return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
}

double Ellipse(double x, double y, double cx, double cy, double rx, double ry) {
  // Unrotated: the generator's cos 0 = 1 and sin 0 = 0 leave u = dx and v = dy exactly.
  const double dx = x - cx, dy = y - cy;
  const double u = dx * 1.0 + dy * 0.0, v = -dx * 0.0 + dy * 1.0;
  return (std::hypot(u / rx, v / ry) - 1.0) * std::min(rx, ry);
}

double SegmentDistance(double x, double y, double ax, double ay, double bx, double by) {
  const double px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
  const double t = std::max(0.0, std::min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)));
  return std::hypot(px - dx * t, py - dy * t);
}

constexpr std::array<std::array<double, 2>, 6> kCord{
    {{25.0, 12.0}, {25.0, 8.5}, {26.5, 5.5}, {29.5, 4.0}, {31.5, 1.5}, {32.0, -2.0}}};
constexpr double kCordRadius = 0.85;

double Cord(double x, double y) {
  double d = SegmentDistance(x, y, kCord[0][0], kCord[0][1], kCord[1][0], kCord[1][1]);
  for (std::size_t i = 1; i + 1 < kCord.size(); ++i) {
    d = std::min(d, SegmentDistance(x, y, kCord[i][0], kCord[i][1], kCord[i + 1][0], kCord[i + 1][1]));
  }
  return d - kCordRadius;
}

double Body(double x, double y) { return RoundRect(x, y, 14.0, 11.5, 36.0, 45.0, 10.5); }
double Wheel(double x, double y) { return RoundRect(x, y, 23.4, 14.5, 26.6, 21.5, 1.6); }

// Inside where nx*x + ny*y < c (unit normals only).
double HalfPlane(double x, double y, double nx, double ny, double c) { return (nx * x + ny * y - c) / 1.0; }

// Paints.
Rgba Linear(double x, double y, double x0, double y0, const Rgba& c0, double x1, double y1, const Rgba& c1) {
  const double dx = x1 - x0, dy = y1 - y0, k = dx * dx + dy * dy;
  return Mix(c0, c1, Clamp01(((x - x0) * dx + (y - y0) * dy) / k));
}

Rgba Shaded(double x, double y, const Rgba& base, const Rgba& light, const Rgba& dark, double cx, double cy,
            double r) {
  const double t = std::min(1.0, std::hypot(x - cx, y - cy) / r);
  if (t < 0.5) return Mix(light, base, t / 0.5);
  return Mix(base, dark, (t - 0.5) / 0.5);
}

constexpr Rgba kOutline = Hex(0x2A2D33);
constexpr Rgba kRed = Hex(0xE32B2B);
constexpr Rgba kRedLight = Hex(0xFF7A6E);
constexpr Rgba kRedDark = Hex(0xA50E12);
constexpr Rgba kWhite = Hex(0xFFFFFF);

enum class Part { Shadow, CordEdge, CordCore, BodyEdge, BodyFace, LeftKey, RightKey, KeySeam, BodySeam,
                  WheelEdge, WheelFace, Gloss, Frame };

// A layer: its bounding box (design units, reach included), how far outside the shape its paint
// reaches, and the part it draws.
struct Layer {
  double x0, y0, x1, y1;
  double reach;
  Part part;
};

constexpr double kShadowBlur = 2.5;

constexpr std::array<Layer, 13> kLayers{{
    {26.5 - 12.0 - kShadowBlur, 45.0 - 12.0 - kShadowBlur, 26.5 + 12.0 + kShadowBlur, 45.0 + 12.0 + kShadowBlur,
     kShadowBlur, Part::Shadow},
    {25.0 - 0.85 - 0.7, -2.0 - 0.85 - 0.7, 32.0 + 0.85 + 0.7, 12.0 + 0.85 + 0.7, 0.0, Part::CordEdge},
    {25.0 - 0.85, -2.0 - 0.85, 32.0 + 0.85, 12.0 + 0.85, 0.0, Part::CordCore},
    {14.0 - 1.3, 11.5 - 1.3, 36.0 + 1.3, 45.0 + 1.3, 0.0, Part::BodyEdge},
    {14.0, 11.5, 36.0, 45.0, 0.0, Part::BodyFace},
    {14.0, 11.5, 36.0, 45.0, 0.0, Part::LeftKey},
    {14.0, 11.5, 36.0, 45.0, 0.0, Part::RightKey},
    {24.45, 11.5, 25.55, 26.5, 0.0, Part::KeySeam},
    {14.0, 25.6, 36.0, 26.6, 0.0, Part::BodySeam},
    {23.4 - 0.6, 14.5 - 0.6, 26.6 + 0.6, 21.5 + 0.6, 0.0, Part::WheelEdge},
    {23.4, 14.5, 26.6, 21.5, 0.0, Part::WheelFace},
    {14.0, 28.5, 25.0, 41.5, 0.0, Part::Gloss},
    {1.5, 1.5, 48.5, 48.5, 0.0, Part::Frame},
}};

// The body's distance at one sample point, worked out once for the layers that clip to it.
struct BodyAt {
  double x, y;
  bool known = false;
  double distance = 0.0;
  double operator()() {
    if (!known) {
      distance = Body(x, y);
      known = true;
    }
    return distance;
  }
};

double Distance(Part part, double x, double y, BodyAt& body) {
  switch (part) {
    case Part::Shadow:
      return Ellipse(x, y, 26.5, 45.0, 12.0, 2.6);
    case Part::CordEdge:
      return Cord(x, y) - 0.7;
    case Part::CordCore:
      return Cord(x, y);
    case Part::BodyEdge:
      return body() - 1.3;
    case Part::BodyFace:
      return body();
    case Part::LeftKey:
      return std::max(std::max(body(), HalfPlane(x, y, 0.0, 1.0, 26.0)), HalfPlane(x, y, 1.0, 0.0, 25.0));
    case Part::RightKey:
      return std::max(std::max(body(), HalfPlane(x, y, 0.0, 1.0, 26.0)), HalfPlane(x, y, -1.0, 0.0, -25.0));
    case Part::KeySeam:
      return std::max(body(), RoundRect(x, y, 24.45, 10.0, 25.55, 26.5, 0.5));
    case Part::BodySeam:
      return std::max(body(), RoundRect(x, y, 13.0, 25.6, 37.0, 26.6, 0.5));
    case Part::WheelEdge:
      return Wheel(x, y) - 0.6;
    case Part::WheelFace:
      return Wheel(x, y);
    case Part::Gloss:
      return std::max(Ellipse(x, y, 18.5, 35.0, 2.0, 6.5), body());
    case Part::Frame: {
      const double f = RoundRect(x, y, 1.5, 1.5, 48.5, 48.5, 3.0);
      return std::max(f, -3.0 - f);
    }
  }
  return 1.0;
}

Rgba Key(double x, double y, bool red, double shadeX) {
  if (red) return Shaded(x, y, kRed, kRedLight, kRedDark, shadeX, 15.0, 14.0);
  return Linear(x, y, 14, 12, kWhite, 36, 27, Hex(0xD5D9DF));
}

Rgba Paint(Part part, ButtonImage image, double x, double y, double d) {
  switch (part) {
    case Part::Shadow: {
      const Rgba c = Hex(0x000000, 0.35);
      return Rgba{c.r, c.g, c.b, c.a * (1.0 - Smoothstep(-kShadowBlur, kShadowBlur, d))};
    }
    case Part::CordEdge:
      return Hex(0x1C1E22);
    case Part::CordCore:
      return Hex(0x6A707A);
    case Part::BodyFace:
      return Linear(x, y, 14, 12, kWhite, 36, 45, Hex(0xB9BEC6));
    case Part::LeftKey:
      return Key(x, y, image != ButtonImage::Armed, 20.0);
    case Part::RightKey:
      return Key(x, y, image == ButtonImage::Armed, 30.0);
    case Part::WheelFace:
      return Linear(x, y, 23, 15, Hex(0x8A919C), 27, 21, Hex(0x3D424A));
    case Part::Gloss:
      return Hex(0xFFFFFF, 0.55);
    case Part::Frame:
      return Linear(x, y, 0, 0, Hex(0xF23B3B), 50, 50, Hex(0xC41515));
    case Part::BodyEdge:
    case Part::KeySeam:
    case Part::BodySeam:
    case Part::WheelEdge:
      break;
  }
  return kOutline;
}

Rgba Background(double y) {
  double t = y / 50;
  t = t * t * (3 - 2 * t) * 0.6 + t * 0.4;
  return Mix(Hex(0x3C3F44), kWhite, t);
}

std::uint8_t ToByte(double c) {
  return static_cast<std::uint8_t>(std::max(0.0, std::min(255.0, std::nearbyint(c * 255.0))));
}

constexpr int kSamples = 6;

}  // namespace

std::vector<std::uint8_t> DrawButtonPicture(ButtonImage image, std::int32_t side) {
  if (side <= 0) return {};
  const std::size_t layerCount = image == ButtonImage::Move ? kLayers.size() : kLayers.size() - 1;
  const double unit = 50.0 / side;  // design units per pixel
  std::array<double, kSamples> offsets{};
  for (int i = 0; i < kSamples; ++i) offsets[i] = (i + 0.5) / kSamples;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(side) * side * 3);
  std::array<const Layer*, kLayers.size()> nearby{};
  std::array<Rgba, kSamples> backdrop{};
  LinearOf linearR, linearG, linearB;
  for (std::int32_t py = 0; py < side; ++py) {
    for (int sy = 0; sy < kSamples; ++sy) {
      const Rgba c = Background((py + offsets[sy]) * unit);
      backdrop[sy] = Rgba{SrgbToLinear(c.r), SrgbToLinear(c.g), SrgbToLinear(c.b), c.a};
    }
    for (std::int32_t px = 0; px < side; ++px) {
      // Only the layers whose box touches this pixel can paint it.
      const double left = px * unit, top = py * unit, right = (px + 1) * unit, bottom = (py + 1) * unit;
      std::size_t count = 0;
      for (std::size_t i = 0; i < layerCount; ++i) {
        const Layer& l = kLayers[i];
        if (l.x0 <= right && l.x1 >= left && l.y0 <= bottom && l.y1 >= top) nearby[count++] = &l;
      }
      double ar = 0, ag = 0, ab = 0, aa = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        const double y = (py + offsets[sy]) * unit;
        for (const double ox : offsets) {
          const double x = (px + ox) * unit;
          Rgba c = Background(y);
          bool painted = false;
          BodyAt body{x, y};
          for (std::size_t i = 0; i < count; ++i) {
            const double d = Distance(nearby[i]->part, x, y, body);
            if (d > nearby[i]->reach) continue;
            const Rgba l = Paint(nearby[i]->part, image, x, y, d);
            painted = painted || l.a > 0.0;
            if (l.a >= 1.0) {
              c = Rgba{l.r, l.g, l.b, 1.0};
            } else if (l.a > 0.0) {
              const double oa = l.a + c.a * (1.0 - l.a);
              const double k = c.a * (1.0 - l.a);
              c = Rgba{(l.r * l.a + c.r * k) / oa, (l.g * l.a + c.g * k) / oa, (l.b * l.a + c.b * k) / oa, oa};
            }
          }
          if (!painted) {  // the background alone, converted once per row
            ar += backdrop[sy].r * c.a;
            ag += backdrop[sy].g * c.a;
            ab += backdrop[sy].b * c.a;
            aa += c.a;
          } else if (c.a > 0.0) {
            ar += linearR(c.r) * c.a;
            ag += linearG(c.g) * c.a;
            ab += linearB(c.b) * c.a;
            aa += c.a;
          }
        }
      }
      std::uint8_t* out = &pixels[(static_cast<std::size_t>(py) * side + px) * 3];
      if (aa > 0.0) {
        const double alpha = aa / (kSamples * kSamples);
        out[0] = ToByte(LinearToSrgb(ar / aa) * alpha);
        out[1] = ToByte(LinearToSrgb(ag / aa) * alpha);
        out[2] = ToByte(LinearToSrgb(ab / aa) * alpha);
      }
    }
  }
  return pixels;
}
