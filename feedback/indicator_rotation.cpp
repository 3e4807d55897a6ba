#include "feedback/indicator_rotation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>

#if (defined(__x86_64__) || defined(_M_X64)) && !defined(_M_ARM64EC)
#define OSTINEL_ROTATION_SSE2 1
#include <emmintrin.h>
#endif

// How the fast renderer stays exact.
//
// With N the source side and h = N / 2 its centre (63.5 for 127): for frame column k (written right
// to left, so the mapped column is X = x0 + width - 1 - k) and row Y, the formulas give
// u = single(h + ((X - h)c + (Y - h)s) / D) and v = single(h - (X - h)s + (Y - h)c), truncated to U
// and V. Along a row both are close to linear in k: the double roundings are below 1e-12 and the
// final rounding to single below half a unit in the last place at N + 1 (2^-17 for 127, 2^-14 for 635).
// So the row splits into:
//  - columns whose linear value is beyond -1 or N by a clear margin: black without any sampling;
//  - columns whose value lies clearly inside: sampled without range checks by a vector loop;
//  - the one or two columns in between: computed by the formulas, one pixel at a time.
// Inside, U and V come from 21-bit fixed-point steps (exact integer adds; each step is off by at most
// 2^-22, so a row of w columns drifts by at most (w + 1) 2^-22). A value that is not within a margin
// of a whole number has the same whole part as the formulas give, when the margin exceeds that drift
// plus the rounding to single: the frame takes the smallest power of two at least twice their sum
// (2^-13 for 127, 2^-10 for 635). The rare group of four with a value that close is redone by the
// formulas. Near a quarter turn nearly every value sits next to a whole number, so those frames run
// the formulas themselves in vector form instead: the products (X - h)c, (X - h)s and (Y - h)c,
// (Y - h)s are exact in double (at most 35 significant bits), so per-column and per-row tables give
// bit for bit the literal sums, and division by D is skipped only when D is 1.

namespace {

static_assert(std::endian::native == std::endian::little, "pixel words hold blue, green, red, unused");

#if defined(_MSC_VER)
#define ROTATION_INLINE __forceinline
#else
#define ROTATION_INLINE inline __attribute__((always_inline))
#endif

constexpr double DEGREES_PER_RADIAN = 57.29577951;
constexpr std::uint32_t KEEP_FOURTH_BYTE = 0xFF000000u;

// Margin around the -1 and N limits inside which a column is computed by the formulas; larger than
// the rounding to single of any value up to 1024.
constexpr double EDGE_MARGIN = 1.0 / 4096.0;

// Fixed point for the inside columns: 21 fraction bits keep -1..INDICATOR_MAX_SIDE + 1 within a
// signed 32-bit word. The running values carry an offset of the frame's near-whole margin, so a
// value within that margin of a whole number is one whose fraction bits above the lowest
// log2(2 * margin) are all zero.
constexpr int FIXED_BITS = 21;
constexpr double FIXED_ONE = 2097152.0;
static_assert((INDICATOR_MAX_SIDE + 2) * FIXED_ONE < 2147483648.0, "fixed-point values fit a signed word");

// The near-whole margin of a frame, in fixed-point units: a power of two at least twice the drift of
// a row of width columns plus half a unit in the last place of single precision at the side.
std::uint32_t NearWholeUnits(std::int32_t side, std::int32_t width) {
  const double drift = static_cast<double>(width + 1) / (2.0 * FIXED_ONE);
  double halfUlp = 1.0 / 16777216.0;  // 2^-24: half a unit in the last place below 2
  for (std::int32_t top = 2; top <= side + 1; top *= 2) halfUlp *= 2.0;
  const double need = 2.0 * (drift + halfUlp + 1e-9);
  std::uint32_t units = 1;
  while (static_cast<double>(units) / FIXED_ONE < need) units *= 2;
  return units;
}

// Frames whose cosine or sine is smaller than this take the vector form of the formulas.
constexpr float NEAR_AXIS = 1.0f / 256.0f;

float Single(double value) { return static_cast<float>(value); }

// Floor and ceiling of values known to lie well within the 32-bit range.
ROTATION_INLINE std::int32_t FloorSmall(double x) {
  const auto n = static_cast<std::int32_t>(x);
  return n - (static_cast<double>(n) > x ? 1 : 0);
}
ROTATION_INLINE std::int32_t CeilSmall(double x) {
  const auto n = static_cast<std::int32_t>(x);
  return n + (static_cast<double>(n) < x ? 1 : 0);
}

// Nearest fixed-point value (as a 32-bit pattern) of a value within -1024..1024.
ROTATION_INLINE std::uint32_t ToFixed(double value) {
  const double scaled = value * FIXED_ONE + 0.5;
  auto n = static_cast<std::int64_t>(scaled);
  if (static_cast<double>(n) > scaled) --n;
  return static_cast<std::uint32_t>(n);
}

struct Span {
  std::int32_t lo = 1;  // inclusive; empty when lo > hi
  std::int32_t hi = 0;
};

// What a frame needs, taken once from the geometry.
struct Setup {
  std::int32_t side;
  std::int32_t last;    // side - 1
  double centre;        // side / 2
  std::int32_t x0;
  std::int32_t y0;
  std::int32_t width;
  std::int32_t height;
  double c;
  double s;
  double d;
  bool divide;      // D is not exactly 1
  double axRight;   // X - 63.5 at frame column 0
  double stepU;     // change of u from one frame column to the next
  double stepV;
  double perD;      // 1 / D, for estimates only
  double perStepU;  // 1 / stepU, or 0 when u hardly changes along a row
  double perStepV;
  std::uint32_t fixedStepU;
  std::uint32_t fixedStepV;
  std::uint32_t nearWhole;  // the near-whole margin, in fixed-point units
  std::uint32_t farBits;    // fraction bits that are all zero only within that margin of a whole number
};

// Source element for frame column X, row Y by the formulas, or -1 when it falls outside (black).
std::int32_t SourceIndexByFormula(const Setup& f, std::int32_t x, std::int32_t y) {
  const double ax = static_cast<double>(x) - f.centre;
  const double ay = static_cast<double>(y) - f.centre;
  const double sum = ax * f.c + ay * f.s;
  const float u = Single(f.centre + (f.divide ? sum / f.d : sum));
  const float v = Single(f.centre - ax * f.s + ay * f.c);
  const auto col = static_cast<std::int32_t>(u);
  const auto row = static_cast<std::int32_t>(v);
  if (col < 0 || col > f.last || row < 0 || row > f.last) return -1;
  return row * f.side + col;
}

std::int32_t MappedColumn(const Setup& f, std::int32_t k) { return f.x0 + f.width - 1 - k; }

void PutRangeByFormula(const Setup& f, const std::uint32_t* source, std::uint32_t* out,
                       std::int32_t from, std::int32_t to, std::int32_t y) {
  for (std::int32_t k = from; k <= to; ++k) {
    const std::int32_t index = SourceIndexByFormula(f, MappedColumn(f, k), y);
    if (index >= 0) {
      out[k] = source[index];
    } else {
      out[k] &= KEEP_FOURTH_BYTE;
    }
  }
}

void Blacken(std::uint32_t* out, std::int32_t from, std::int32_t to) {
  std::int32_t k = from;
#if defined(OSTINEL_ROTATION_SSE2)
  const __m128i keep = _mm_set1_epi32(static_cast<int>(KEEP_FOURTH_BYTE));
  for (; k + 3 <= to; k += 4) {
    auto* at = reinterpret_cast<__m128i*>(out + k);
    _mm_storeu_si128(at, _mm_and_si128(_mm_loadu_si128(at), keep));
  }
#endif
  for (; k <= to; ++k) out[k] &= KEEP_FOURTH_BYTE;
}

// Frame columns 0..last of a row where a coordinate, start + k * step, may map inside the source
// (maybe) and surely does (inside), judged against -1 and the side with EDGE_MARGIN either way.
struct Window {
  Span maybe;
  Span inside;
};

ROTATION_INLINE Window ColumnsInside(double start, double perStep, std::int32_t last, double side) {
  Window w;
  if (perStep == 0.0) {
    if (start > -1.0 - EDGE_MARGIN && start < side + EDGE_MARGIN) w.maybe = {0, last};
    if (start >= -1.0 + EDGE_MARGIN && start <= side - EDGE_MARGIN) w.inside = {0, last};
    return w;
  }
  // Where the coordinate crosses -1 and the side, in columns.
  double a = (-1.0 - start) * perStep;
  double b = (side - start) * perStep;
  if (a > b) std::swap(a, b);
  const double margin = EDGE_MARGIN * std::fabs(perStep);
  const double limit = static_cast<double>(last) + 2.0;
  const auto column = [limit](double k) { return std::clamp(k, -2.0, limit); };
  w.maybe = {std::max(0, FloorSmall(column(a - margin)) + 1),
             std::min(last, CeilSmall(column(b + margin)) - 1)};
  w.inside = {std::max(0, CeilSmall(column(a + margin))), std::min(last, FloorSmall(column(b - margin)))};
  return w;
}

Span Intersect(Span p, Span q) { return {std::max(p.lo, q.lo), std::min(p.hi, q.hi)}; }

ROTATION_INLINE bool NearWhole(const Setup& f, std::uint32_t fixed) { return (fixed & f.farBits) == 0; }

// Source element from fixed-point u and v (offset values) of a column known to map inside: -1 to 0
// takes line 0.
ROTATION_INLINE std::int32_t SourceIndexFixed(const Setup& f, std::uint32_t fu, std::uint32_t fv) {
  const std::int32_t col = std::clamp(static_cast<std::int32_t>(fu) >> FIXED_BITS, 0, f.last);
  const std::int32_t row = std::clamp(static_cast<std::int32_t>(fv) >> FIXED_BITS, 0, f.last);
  return row * f.side + col;
}

#if defined(OSTINEL_ROTATION_SSE2)

// The source's shape for SourceIndex4: the last line in every word, and (1, side) word pairs.
struct SourceShape4 {
  __m128i last;
  __m128i rowStride;
  explicit SourceShape4(const Setup& f)
      : last(_mm_set1_epi16(static_cast<short>(f.last))), rowStride(_mm_set1_epi32((f.side << 16) | 1)) {}
};

// Source elements from whole parts packed as (U, V) word pairs, clamped to the source as a guard.
ROTATION_INLINE __m128i SourceIndex4(const SourceShape4& shape, __m128i pairs) {
  const __m128i clamped = _mm_min_epi16(_mm_max_epi16(pairs, _mm_setzero_si128()), shape.last);
  return _mm_madd_epi16(clamped, shape.rowStride);
}

ROTATION_INLINE void Gather4(const std::uint32_t* source, std::uint32_t* out, __m128i index) {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(index));
  const auto high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(index, index)));
  out[0] = source[static_cast<std::uint32_t>(low)];
  out[1] = source[low >> 32];
  out[2] = source[static_cast<std::uint32_t>(high)];
  out[3] = source[high >> 32];
}

#endif

// Inside columns from..to of a row by fixed-point steps; fu and fv are the offset values at column
// from.
void PutInsideFixed(const Setup& f, const std::uint32_t* source, std::uint32_t* out, std::int32_t from,
                    std::int32_t to, std::int32_t y, std::uint32_t fu, std::uint32_t fv) {
  std::int32_t k = from;
  const std::uint32_t su = f.fixedStepU;
  const std::uint32_t sv = f.fixedStepV;
#if defined(OSTINEL_ROTATION_SSE2)
  if (to - from >= 3) {
    // u and v side by side: columns k, k + 1 in one register, k + 2, k + 3 in the other.
    const auto lane = [](std::uint32_t value) { return static_cast<int>(value); };
    __m128i lanes01 = _mm_setr_epi32(lane(fu), lane(fv), lane(fu + su), lane(fv + sv));
    __m128i lanes23 =
        _mm_setr_epi32(lane(fu + 2 * su), lane(fv + 2 * sv), lane(fu + 3 * su), lane(fv + 3 * sv));
    const __m128i step = _mm_setr_epi32(lane(4 * su), lane(4 * sv), lane(4 * su), lane(4 * sv));
    const __m128i farBits = _mm_set1_epi32(static_cast<int>(f.farBits));
    const __m128i zero = _mm_setzero_si128();
    const SourceShape4 shape(f);
    for (; k + 3 <= to; k += 4) {
      const __m128i fractions =
          _mm_packs_epi32(_mm_and_si128(lanes01, farBits), _mm_and_si128(lanes23, farBits));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(fractions, zero)) != 0) {
        PutRangeByFormula(f, source, out, k, k + 3, y);
      } else {
        const __m128i pairs =
            _mm_packs_epi32(_mm_srai_epi32(lanes01, FIXED_BITS), _mm_srai_epi32(lanes23, FIXED_BITS));
        Gather4(source, out + k, SourceIndex4(shape, pairs));
      }
      lanes01 = _mm_add_epi32(lanes01, step);
      lanes23 = _mm_add_epi32(lanes23, step);
    }
    const auto done = static_cast<std::uint32_t>(k - from);
    fu += done * su;
    fv += done * sv;
  }
#endif
  for (; k <= to; ++k) {
    if (NearWhole(f, fu) || NearWhole(f, fv)) {
      PutRangeByFormula(f, source, out, k, k, y);
    } else {
      out[k] = source[SourceIndexFixed(f, fu, fv)];
    }
    fu += su;
    fv += sv;
  }
}

// Per-column parts of the formulas for the near-axis frames: (X - h)c and h - (X - h)s.
struct ColumnTables {
  std::array<double, INDICATOR_FRAME_MAX_SIDE> uPart;
  std::array<double, INDICATOR_FRAME_MAX_SIDE> vPart;
};

#if defined(OSTINEL_ROTATION_SSE2)
template <bool Divide>
void PutInsideFormulas4(const Setup& f, const ColumnTables& tables, const std::uint32_t* source,
                        std::uint32_t* out, std::int32_t& k, std::int32_t to, std::int32_t y) {
  const double ay = static_cast<double>(y) - f.centre;
  const __m128d rowU = _mm_set1_pd(ay * f.s);
  const __m128d rowV = _mm_set1_pd(ay * f.c);
  const __m128d centre = _mm_set1_pd(f.centre);
  const SourceShape4 shape(f);
  const __m128d d = _mm_set1_pd(f.d);
  const double* uPart = tables.uPart.data();
  const double* vPart = tables.vPart.data();
  for (; k + 3 <= to; k += 4) {
    __m128d sum01 = _mm_add_pd(_mm_loadu_pd(uPart + k), rowU);
    __m128d sum23 = _mm_add_pd(_mm_loadu_pd(uPart + k + 2), rowU);
    if constexpr (Divide) {
      sum01 = _mm_div_pd(sum01, d);
      sum23 = _mm_div_pd(sum23, d);
    }
    const __m128 u = _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(centre, sum01)),
                                   _mm_cvtpd_ps(_mm_add_pd(centre, sum23)));
    const __m128 v = _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(_mm_loadu_pd(vPart + k), rowV)),
                                   _mm_cvtpd_ps(_mm_add_pd(_mm_loadu_pd(vPart + k + 2), rowV)));
    const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(u), _mm_cvttps_epi32(v));
    Gather4(source, out + k, SourceIndex4(shape, _mm_unpacklo_epi16(words, _mm_unpackhi_epi64(words, words))));
  }
}
#endif

// Inside columns from..to of a row by the formulas (near-axis frames).
void PutInsideFormulas(const Setup& f, const ColumnTables& tables, const std::uint32_t* source,
                       std::uint32_t* out, std::int32_t from, std::int32_t to, std::int32_t y) {
  std::int32_t k = from;
#if defined(OSTINEL_ROTATION_SSE2)
  if (f.divide) {
    PutInsideFormulas4<true>(f, tables, source, out, k, to, y);
  } else {
    PutInsideFormulas4<false>(f, tables, source, out, k, to, y);
  }
#else
  (void)tables;
#endif
  PutRangeByFormula(f, source, out, k, to, y);
}

Setup MakeSetup(const IndicatorFrameGeometry& frame) {
  Setup f{};
  f.side = frame.side;
  f.last = frame.side - 1;
  f.centre = static_cast<double>(frame.side) / 2.0;
  f.x0 = frame.x0;
  f.y0 = frame.y0;
  f.width = frame.width;
  f.height = frame.height;
  f.c = frame.c;
  f.s = frame.s;
  f.d = frame.d;
  f.divide = frame.d != 1.0f;
  f.axRight = static_cast<double>(frame.x0 + frame.width - 1) - f.centre;
  f.perD = 1.0 / f.d;
  f.stepU = -f.c / f.d;
  f.stepV = f.s;
  f.perStepU = std::fabs(f.stepU) < 1e-12 ? 0.0 : 1.0 / f.stepU;
  f.perStepV = std::fabs(f.stepV) < 1e-12 ? 0.0 : 1.0 / f.stepV;
  f.fixedStepU = ToFixed(f.stepU);
  f.fixedStepV = ToFixed(f.stepV);
  f.nearWhole = NearWholeUnits(frame.side, std::max(frame.width, frame.height));
  f.farBits = ((1u << FIXED_BITS) - 1) & ~(2 * f.nearWhole - 1);
  return f;
}

bool Usable(const IndicatorFrameGeometry& frame) {
  const auto inBox = [](std::int32_t value) {
    return value >= -INDICATOR_FRAME_MAX_SIDE && value <= INDICATOR_FRAME_MAX_SIDE;
  };
  return frame.side >= 1 && frame.side <= INDICATOR_MAX_SIDE && frame.width >= 1 && frame.width <= INDICATOR_FRAME_MAX_SIDE && frame.height >= 1 &&
         frame.height <= INDICATOR_FRAME_MAX_SIDE && inBox(frame.x0) && inBox(frame.y0) &&
         std::isfinite(frame.c) && std::isfinite(frame.s) && std::isfinite(frame.d) &&
         std::fabs(frame.c) <= 1.0f && std::fabs(frame.s) <= 1.0f && frame.d >= 0.5f && frame.d <= 2.0f;
}

}  // namespace

std::optional<IndicatorFrameGeometry> IndicatorFrameSize(float angle, std::int32_t side) {
  if (!std::isfinite(angle) || side < 1 || side > INDICATOR_MAX_SIDE) return std::nullopt;
  const double centre = static_cast<double>(side) / 2.0;
  const double edge = static_cast<double>(side);
  // A half turn is added; the right-to-left fill and the bottom-up write-back undo it on screen.
  float t = Single(static_cast<double>(angle) + 180.0);
  if (t > 360.0f) t = Single(static_cast<double>(t) - 360.0);
  const float r = Single(static_cast<double>(t) / DEGREES_PER_RADIAN);
  const float c = Single(std::cos(static_cast<double>(r)));
  const float s = Single(std::sin(static_cast<double>(r)));

  const std::array<double, 4> cornerX{0.0, edge, edge, 0.0};
  const std::array<double, 4> cornerY{0.0, 0.0, edge, edge};
  float minX = std::numeric_limits<float>::infinity();
  float minY = minX;
  float maxX = -minX;
  float maxY = -minX;
  for (std::size_t n = 0; n < cornerX.size(); ++n) {
    const double dx = cornerX[n] - centre;
    const double dy = cornerY[n] - centre;
    const float x = Single(centre + dx * c - dy * s);
    const float y = Single(centre + dx * s + dy * c);
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
  const auto whole = [](double value) { return static_cast<std::int32_t>(Single(value)); };
  IndicatorFrameGeometry frame;
  frame.side = side;
  frame.x0 = whole(std::floor(static_cast<double>(minX)));
  frame.y0 = whole(std::floor(static_cast<double>(minY)));
  frame.width = whole(std::ceil(static_cast<double>(maxX))) - frame.x0;
  frame.height = whole(std::ceil(static_cast<double>(maxY))) - frame.y0;
  frame.c = c;
  frame.s = s;
  frame.d = Single(static_cast<double>(s) * s + static_cast<double>(c) * c);
  return frame;
}

std::size_t IndicatorFramePixels(const IndicatorFrameGeometry& frame) {
  if (frame.width <= 0 || frame.height <= 0) return 0;
  return static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
}

bool RenderIndicatorFrame(const IndicatorFrameGeometry& frame, std::span<const std::uint32_t> source,
                          std::span<std::uint32_t> destination) {
  if (!Usable(frame) ||
      source.size() < static_cast<std::size_t>(frame.side) * static_cast<std::size_t>(frame.side) ||
      destination.size() < IndicatorFramePixels(frame)) {
    return false;
  }
  const Setup f = MakeSetup(frame);
  const std::uint32_t* src = source.data();
  const std::int32_t last = f.width - 1;
  const bool nearAxis = std::fabs(frame.c) < NEAR_AXIS || std::fabs(frame.s) < NEAR_AXIS;

  ColumnTables tables;
  if (nearAxis) {
    for (std::int32_t k = 0; k <= last; ++k) {
      const double ax = static_cast<double>(MappedColumn(f, k)) - f.centre;
      tables.uPart[static_cast<std::size_t>(k)] = ax * f.c;
      tables.vPart[static_cast<std::size_t>(k)] = f.centre - ax * f.s;
    }
  }

  for (std::int32_t i = 0; i < f.height; ++i) {
    std::uint32_t* out = destination.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(f.width);
    const std::int32_t y = f.y0 + i;
    const double ay = static_cast<double>(y) - f.centre;
    // u and v at frame column 0; both change linearly along the row.
    const double uStart = f.centre + (f.axRight * f.c + ay * f.s) * f.perD;
    const double vStart = f.centre - f.axRight * f.s + ay * f.c;
    const double side = static_cast<double>(f.side);
    const Window byU = ColumnsInside(uStart, f.perStepU, last, side);
    const Window byV = ColumnsInside(vStart, f.perStepV, last, side);
    const Span maybe = Intersect(byU.maybe, byV.maybe);
    if (maybe.lo > maybe.hi) {
      Blacken(out, 0, last);
      continue;
    }
    const Span inside = Intersect(Intersect(byU.inside, byV.inside), maybe);

    Blacken(out, 0, maybe.lo - 1);
    if (inside.lo > inside.hi) {
      PutRangeByFormula(f, src, out, maybe.lo, maybe.hi, y);
    } else {
      PutRangeByFormula(f, src, out, maybe.lo, inside.lo - 1, y);
      if (nearAxis) {
        PutInsideFormulas(f, tables, src, out, inside.lo, inside.hi, y);
      } else {
        const double k = static_cast<double>(inside.lo);
        PutInsideFixed(f, src, out, inside.lo, inside.hi, y, ToFixed(uStart + k * f.stepU) + f.nearWhole,
                       ToFixed(vStart + k * f.stepV) + f.nearWhole);
      }
      PutRangeByFormula(f, src, out, inside.hi + 1, maybe.hi, y);
    }
    Blacken(out, maybe.hi + 1, last);
  }
  return true;
}
