// Cost of one indicator frame: our rotation against pixman's nearest-pixel affine transform and
// against a plain copy of a frame of the largest size (the floor any renderer pays to write it).
//
// The CompareRotation runs time the three side by side in every iteration and report medians and
// ratios as counters, which holds up better on a busy machine than comparing separate runs.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "feedback/indicator_rotation.h"
#include "feedback/indicator_source.h"

#if defined(OSTINEL_BENCH_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr std::int32_t LARGEST_SIDE = 181;
constexpr std::size_t LARGEST_FRAME = static_cast<std::size_t>(LARGEST_SIDE) * LARGEST_SIDE;

// Eight coloured discs on a ring, black elsewhere: like the real indicator image.
std::vector<std::uint32_t> RingOfDiscs() {
  std::vector<std::uint32_t> pixels(INDICATOR_PIXELS, 0);
  for (int disc = 0; disc < 8; ++disc) {
    const double at = disc * 3.14159265358979 / 4.0;
    const double cx = 63.5 + 44.0 * std::cos(at);
    const double cy = 63.5 + 44.0 * std::sin(at);
    const std::uint32_t colour = 0x00204060u + static_cast<std::uint32_t>(disc) * 0x00151B21u;
    for (int y = 0; y < INDICATOR_SIDE; ++y) {
      for (int x = 0; x < INDICATOR_SIDE; ++x) {
        const double dx = x + 0.5 - cx;
        const double dy = y + 0.5 - cy;
        if (dx * dx + dy * dy < 14.0 * 14.0) {
          pixels[static_cast<std::size_t>(y) * INDICATOR_SIDE + x] = colour;
        }
      }
    }
  }
  return pixels;
}

struct Ours {
  std::vector<std::uint32_t> source = RingOfDiscs();
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(LARGEST_FRAME);

  // Geometry and pixels, as every paint does.
  void Run(float angle) {
    const auto geometry = IndicatorFrameSize(angle);
    if (!geometry || !RenderIndicatorFrame(*geometry, source, frame)) std::abort();
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
};

struct Copy {
  std::vector<std::uint32_t> from = std::vector<std::uint32_t>(LARGEST_FRAME, 0x00336699u);
  std::vector<std::uint32_t> to = std::vector<std::uint32_t>(LARGEST_FRAME);

  void Run() {
    std::memcpy(to.data(), from.data(), LARGEST_FRAME * sizeof(std::uint32_t));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
};

#if defined(OSTINEL_BENCH_PIXMAN)
// The same turn by pixman: nearest filter, source operator, into the same fitted box.
struct Pixman {
  std::vector<std::uint32_t> source = RingOfDiscs();
  std::vector<std::uint32_t> frame = std::vector<std::uint32_t>(LARGEST_FRAME);
  pixman_image_t* from = nullptr;
  pixman_image_t* to = nullptr;
  int side = 0;
  float angle = 0;

  explicit Pixman(float turn) : angle(turn) {
    side = IndicatorFrameSize(turn)->width;
    from = pixman_image_create_bits(PIXMAN_x8r8g8b8, INDICATOR_SIDE, INDICATOR_SIDE, source.data(),
                                    INDICATOR_SIDE * 4);
    to = pixman_image_create_bits(PIXMAN_x8r8g8b8, side, side, frame.data(), side * 4);
    pixman_image_set_filter(from, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  ~Pixman() {
    pixman_image_unref(from);
    pixman_image_unref(to);
  }
  Pixman(const Pixman&) = delete;
  Pixman& operator=(const Pixman&) = delete;

  // Transform and composite, as a paint would.
  void Run() {
    const double radians = angle * 3.14159265358979323846 / 180.0;
    pixman_f_transform turn;
    pixman_f_transform_init_identity(&turn);
    pixman_f_transform_translate(&turn, nullptr, -side / 2.0, -side / 2.0);
    pixman_f_transform_rotate(&turn, nullptr, std::cos(-radians), std::sin(-radians));
    pixman_f_transform_translate(&turn, nullptr, 63.5, 63.5);
    pixman_transform fixed;
    pixman_transform_from_pixman_f_transform(&fixed, &turn);
    pixman_image_set_transform(from, &fixed);
    pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, 0, 0, side, side);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
};
#endif

void RotateOurs(benchmark::State& state) {
  Ours ours;
  const auto angle = static_cast<float>(state.range(0));
  for (auto _ : state) ours.Run(angle);
  state.counters["side"] = IndicatorFrameSize(angle)->width;
}
BENCHMARK(RotateOurs)->Arg(45)->Arg(15)->Arg(30)->Arg(0)->Arg(90);

// One frame of the ring drawn for a scale (side 190 at 150 %, 254 at 200 %, 381 at 300 %), at 45
// degrees, the largest frame of a turn.
void RotateScaled(benchmark::State& state) {
  const auto side = static_cast<std::int32_t>(state.range(0));
  const std::vector<std::uint32_t> source = DrawIndicatorSource(side);
  const auto geometry = IndicatorFrameSize(45.0f, side);
  if (source.empty() || !geometry) std::abort();
  std::vector<std::uint32_t> frame(IndicatorFramePixels(*geometry));
  for (auto _ : state) {
    const auto turned = IndicatorFrameSize(45.0f, side);
    if (!turned || !RenderIndicatorFrame(*turned, source, frame)) std::abort();
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.counters["frame_side"] = geometry->width;
}
BENCHMARK(RotateScaled)->Arg(127)->Arg(190)->Arg(254)->Arg(381);

// Drawing the ring's source for a scale, once per scale at its first showing.
void DrawSource(benchmark::State& state) {
  const auto side = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(DrawIndicatorSource(side).data());
}
BENCHMARK(DrawSource)->Arg(159)->Arg(190)->Arg(254)->Arg(381)->Unit(benchmark::kMillisecond);

void CopyFrame(benchmark::State& state) {
  Copy copy;
  for (auto _ : state) copy.Run();
}
BENCHMARK(CopyFrame);

#if defined(OSTINEL_BENCH_PIXMAN)
void RotatePixman(benchmark::State& state) {
  Pixman pixman(static_cast<float>(state.range(0)));
  for (auto _ : state) pixman.Run();
}
BENCHMARK(RotatePixman)->Arg(45)->Arg(15);
#endif

double Median(std::vector<double>& values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

template <typename Work>
double TimeOnce(Work&& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
}

// Ours, pixman and the copy in turn within each iteration; counters give medians in ns and ratios.
void CompareRotation(benchmark::State& state) {
  const auto angle = static_cast<float>(state.range(0));
  Ours ours;
  Copy copy;
  std::vector<double> oursNs, copyNs;
#if defined(OSTINEL_BENCH_PIXMAN)
  Pixman pixman(angle);
  std::vector<double> pixmanNs;
#endif
  for (auto _ : state) {
    oursNs.push_back(TimeOnce([&] { ours.Run(angle); }));
    copyNs.push_back(TimeOnce([&] { copy.Run(); }));
#if defined(OSTINEL_BENCH_PIXMAN)
    pixmanNs.push_back(TimeOnce([&] { pixman.Run(); }));
#endif
  }
  const double oursMedian = Median(oursNs);
  const double copyMedian = Median(copyNs);
  state.counters["ours_ns"] = oursMedian;
  state.counters["copy_ns"] = copyMedian;
  state.counters["ours_per_copy"] = copyMedian > 0 ? oursMedian / copyMedian : 0;
#if defined(OSTINEL_BENCH_PIXMAN)
  const double pixmanMedian = Median(pixmanNs);
  state.counters["pixman_ns"] = pixmanMedian;
  state.counters["ours_per_pixman"] = pixmanMedian > 0 ? oursMedian / pixmanMedian : 0;
#endif
}
BENCHMARK(CompareRotation)->Arg(45)->Arg(15)->MinTime(1.0);

}  // namespace
