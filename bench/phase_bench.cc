// Micro-benchmarks of the phases that compute, on one ERA5-sized level
// (1440 x 721) or a whole soil set; the I/O is measured by bench/run.sh.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/constants.h"
#include "qc/screening.h"
#include "qc/surface_fill.h"
#include "thermo/estab.h"
#include "thermo/humidity.h"

namespace {

constexpr int32_t kIm = 1440, kJm = 721;

// Deterministic values with the mix of a real data time.
float pseudo(size_t index) {
  const uint32_t n = static_cast<uint32_t>(index) * 2654435761u;
  return static_cast<float>(n >> 8) * (1.0f / 16777216.0f);
}

// What es_ini() does once: every entry of the table.
void BM_SaturationTable(benchmark::State& state) {
  static float table[i2m::kEsatEntries];
  for (auto _ : state) {
    for (int32_t code = i2m::kEsatFirstCode; code <= i2m::kEsatLastCode; ++code) {
      table[code - i2m::kEsatFirstCode] = i2m::saturation_pressure(code);
    }
    benchmark::DoNotOptimize(table);
  }
}
BENCHMARK(BM_SaturationTable)->Unit(benchmark::kMillisecond);

void BM_ScreenOneLevel(benchmark::State& state) {
  std::vector<float> level(static_cast<size_t>(kIm) * kJm);
  for (size_t p = 0; p < level.size(); ++p) level[p] = p % 97 == 0 ? i2m::input_missing_flag : pseudo(p) * 300.0f;
  for (auto _ : state) {
    i2m::screen_upper_air_markers(level.data(), level.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * level.size() * 4));
}
BENCHMARK(BM_ScreenOneLevel)->Unit(benchmark::kMicrosecond);

void BM_LandSeaMask(benchmark::State& state) {
  std::vector<float> mask(static_cast<size_t>(kIm) * kJm);
  for (auto _ : state) {
    for (size_t p = 0; p < mask.size(); ++p) mask[p] = pseudo(p);
    i2m::screen_land_sea_mask(mask.data(), mask.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LandSeaMask)->Unit(benchmark::kMicrosecond);

// The zero fill of the eight soil fields, over a pattern with blocks of
// zeros as over the sea and scattered zeros over land.
void BM_SoilFill(benchmark::State& state) {
  const size_t points = static_cast<size_t>(kIm) * kJm;
  std::vector<float> soil(points * 8);
  for (size_t p = 0; p < soil.size(); ++p) {
    const bool sea = (p % kIm / 37 + p / kIm / 23) % 3 == 0;
    soil[p] = sea || pseudo(p) < 0.03f ? 0.0f : 0.05f + 0.6f * pseudo(p + 1);
  }
  std::vector<float> work(soil.size());
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(soil.begin(), soil.end(), work.begin());
    state.ResumeTiming();
    for (int n = 0; n < 8; ++n) i2m::zero_fill_slice(work.data() + n * points, kIm, kJm);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SoilFill)->Unit(benchmark::kMillisecond);

void BM_HumidityOneLevel(benchmark::State& state) {
  i2m::es_ini();
  const size_t points = static_cast<size_t>(kIm) * kJm;
  std::vector<float> tp(points), rh(points), q(points);
  for (size_t p = 0; p < points; ++p) {
    tp[p] = 200.0f + 110.0f * pseudo(p);
    rh[p] = 100.0f * pseudo(p + 7);
  }
  for (auto _ : state) {
    i2m::convert_humidity_level(tp.data(), rh.data(), 850.0f, q.data(), points);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * points * 12));
}
BENCHMARK(BM_HumidityOneLevel)->Unit(benchmark::kMicrosecond);

}  // namespace
