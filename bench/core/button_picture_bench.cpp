// Drawing one picture of the function button at the side of a display scale: the delay before
// the button first shows a state at that scale.
#include <benchmark/benchmark.h>

#include "button/button_picture.h"

static void DrawButtonAtSide(benchmark::State& st) {
  const auto side = static_cast<std::int32_t>(st.range(0));
  for (auto _ : st) benchmark::DoNotOptimize(DrawButtonPicture(ButtonImage::Armed, side));
  st.counters["pixels"] = static_cast<double>(side) * side;
}
BENCHMARK(DrawButtonAtSide)->Arg(62)->Arg(75)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
