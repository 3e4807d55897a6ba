#include "feedback/indicator_source.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "feedback/indicator_rotation.h"

namespace {

// The description, in pixels of the 127-pixel ring; every length is scaled by side / 127.
constexpr double RING_RADIUS = 46.0;
constexpr double DISC_RADIUS = 16.0;
constexpr double LEAD_DISC_RADIUS = 17.0;
constexpr double RIM_WIDTH = 1.1;        // the darker rim just inside each disc's outline
constexpr double CORE_RING_WIDTH = 1.0;  // the pink band just inside the lead disc's white core
constexpr double PI = 3.14159265358979323846;
// Clockwise from the upper-left disc; the first one leads the spin and carries the white core.
constexpr std::array<std::uint32_t, 8> RING_COLOURS{0xF03A3A, 0xFF8C1A, 0xFFD21F, 0x5FD035,
                                                    0x22C7C0, 0x2E7BF0, 0x8A4DF0, 0xE845B8};

struct Colour {
  double r = 0, g = 0, b = 0;  // sRGB, 0..1
};

Colour FromHex(std::uint32_t hex) {
  return {static_cast<double>(hex >> 16 & 255) / 255.0, static_cast<double>(hex >> 8 & 255) / 255.0,
          static_cast<double>(hex & 255) / 255.0};
}

Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double ToLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double ToSrgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055; }
std::uint32_t ToByte(double c) { return static_cast<std::uint32_t>(std::clamp(std::lround(c * 255.0), 0L, 255L)); }
std::uint32_t Word(Colour c) { return ToByte(c.b) | ToByte(c.g) << 8 | ToByte(c.r) << 16; }

struct Disc {
  double cx, cy, r;
  Colour base, light, dark, rim;
  bool lead;
};

struct Ring {
  std::array<Disc, 8> discs;
  double rim;       // widths at this side
  double coreRing;
};

Ring Describe(std::int32_t side) {
  const double k = static_cast<double>(side) / INDICATOR_SIDE;
  const double centre = static_cast<double>(side) / 2.0;
  const Colour white{1, 1, 1};
  const Colour black{0, 0, 0};
  Ring ring{};
  for (std::size_t n = 0; n < ring.discs.size(); ++n) {
    const double phi = (315.0 + 45.0 * static_cast<double>(n)) * PI / 180.0;  // clockwise from straight up
    Disc& d = ring.discs[n];
    d.cx = centre + RING_RADIUS * k * std::sin(phi);
    d.cy = centre - RING_RADIUS * k * std::cos(phi);
    d.r = (n == 0 ? LEAD_DISC_RADIUS : DISC_RADIUS) * k;
    d.base = FromHex(RING_COLOURS[n]);
    d.light = Mix(d.base, white, 0.55);
    d.dark = Mix(d.base, black, 0.38);
    d.rim = Mix(d.base, black, 0.5);
    d.lead = n == 0;
  }
  ring.rim = RIM_WIDTH * k;
  ring.coreRing = CORE_RING_WIDTH * k;
  return ring;
}

const Disc& Nearest(const Ring& ring, double x, double y) {
  const Disc* best = &ring.discs[0];
  double bestDistance = 1e300;
  for (const Disc& d : ring.discs) {
    const double distance = std::hypot(x - d.cx, y - d.cy) - d.r;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = &d;
    }
  }
  return *best;
}

// Signed distances (negative inside) of the shapes of a disc at a point.
struct Shapes {
  double disc;
  double gloss;  // the gloss ellipse (its distance scaled as the generator scales it)
  double core;   // the lead disc's white core; large elsewhere
};

Shapes ShapesAt(const Disc& d, double x, double y) {
  Shapes s{};
  s.disc = std::hypot(x - d.cx, y - d.cy) - d.r;
  // Gloss: an ellipse up and left of the middle, turned by -30 degrees.
  const double rx = d.r * 0.42;
  const double ry = d.r * 0.24;
  const double ca = std::cos(-30.0 * PI / 180.0);
  const double sa = std::sin(-30.0 * PI / 180.0);
  const double dx = x - (d.cx - d.r * 0.32);
  const double dy = y - (d.cy - d.r * 0.42);
  const double u = dx * ca + dy * sa;
  const double v = -dx * sa + dy * ca;
  s.gloss = (std::hypot(u / rx, v / ry) - 1.0) * std::min(rx, ry);
  s.core = d.lead ? std::hypot(x - d.cx, y - d.cy) - d.r * 0.42 : 1e300;
  return s;
}

// The colour at a point inside the disc, layer over layer as the generator paints them.
Colour PaintAt(const Ring& ring, const Disc& d, const Shapes& s, double x, double y) {
  // Spherical shading: light near a point up and left, the base colour, dark toward the edge.
  const double t = std::min(1.0, std::hypot(x - (d.cx - d.r * 0.35), y - (d.cy - d.r * 0.35)) / (d.r * 1.45));
  Colour c = t < 0.5 ? Mix(d.light, d.base, t / 0.5) : Mix(d.base, d.dark, (t - 0.5) / 0.5);
  if (s.disc >= -ring.rim) c = d.rim;
  if (s.gloss <= 0.0) c = Mix(c, Colour{1, 1, 1}, 0.45);
  if (s.core <= 0.0) c = s.core >= -ring.coreRing ? FromHex(0xFFE0E0) : Colour{1, 1, 1};
  return c;
}

struct Average {
  double r = 0, g = 0, b = 0;
  int count = 0;
  void Add(Colour c) {
    r += ToLinear(c.r);
    g += ToLinear(c.g);
    b += ToLinear(c.b);
    ++count;
  }
  Colour Mean() const {
    const double n = static_cast<double>(count);
    return {ToSrgb(r / n), ToSrgb(g / n), ToSrgb(b / n)};
  }
};

// Samples of a pixel inside its disc, n by n; the count of all samples is n * n.
Average SamplePixel(const Ring& ring, const Disc& d, std::int32_t px, std::int32_t py, int n) {
  Average sum;
  for (int i = 0; i < n; ++i) {
    const double y = py + (i + 0.5) / n;
    for (int j = 0; j < n; ++j) {
      const double x = px + (j + 0.5) / n;
      const Shapes s = ShapesAt(d, x, y);
      if (s.disc <= 0.0) sum.Add(PaintAt(ring, d, s, x, y));
    }
  }
  return sum;
}

bool SideUsable(std::int32_t side) { return side >= 16 && side <= INDICATOR_MAX_SIDE; }

}  // namespace

std::vector<std::uint32_t> DrawIndicatorSource(std::int32_t side) {
  if (!SideUsable(side)) return {};
  const Ring ring = Describe(side);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 0);
  // A pixel farther than this from every boundary inside its disc is one colour: one sample does.
  constexpr double SMOOTH = 0.75;
  for (std::int32_t py = 0; py < side; ++py) {
    for (std::int32_t px = 0; px < side; ++px) {
      const double x = px + 0.5;
      const double y = py + 0.5;
      const Disc& d = Nearest(ring, x, y);
      const Shapes s = ShapesAt(d, x, y);
      if (s.disc > 0.0) continue;  // outside every disc: black, the colour key
      const double nearest = std::min({-s.disc, std::fabs(s.disc + ring.rim), std::fabs(s.gloss),
                                       std::fabs(s.core), std::fabs(s.core + ring.coreRing)});
      Colour c = PaintAt(ring, d, s, x, y);
      if (nearest < SMOOTH) {
        const Average sum = SamplePixel(ring, d, px, py, 4);
        if (sum.count > 0) c = sum.Mean();
      }
      pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(side) + static_cast<std::size_t>(px)] = Word(c);
    }
  }
  return pixels;
}

std::vector<std::uint32_t> DrawIndicatorSourceOverBlack(std::int32_t side) {
  if (!SideUsable(side)) return {};
  const Ring ring = Describe(side);
  constexpr int SAMPLES = 6;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 0);
  for (std::int32_t py = 0; py < side; ++py) {
    for (std::int32_t px = 0; px < side; ++px) {
      const Disc& d = Nearest(ring, px + 0.5, py + 0.5);
      if (std::hypot(px + 0.5 - d.cx, py + 0.5 - d.cy) > d.r + 1.0) continue;
      const Average sum = SamplePixel(ring, d, px, py, SAMPLES);
      if (sum.count == 0) continue;
      const double coverage = static_cast<double>(sum.count) / (SAMPLES * SAMPLES);
      const Colour mean = sum.Mean();
      const Colour flat{mean.r * coverage, mean.g * coverage, mean.b * coverage};
      const std::uint32_t word = Word(flat);
      // Faint edge pixels become clean black, as the generator makes them.
      if (std::max({word & 0xFF, word >> 8 & 0xFF, word >> 16 & 0xFF}) < 12) continue;
      pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(side) + static_cast<std::size_t>(px)] = word;
    }
  }
  return pixels;
}
