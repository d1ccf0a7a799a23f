// Speed of the moment text forms: pattern formatting, the regional text form and reading
// it back, with the built-in regional settings and a fixed clock.
#include "datetime/MomentFormat.h"
#include "datetime/MomentParse.h"
#include "datetime/RegionalFormats.h"
#include "datetime/SampleFormats.h"
#include "platform/os/OsLocale.h"

#include <benchmark/benchmark.h>

namespace {

TFixedClockLocale BenchLocale(0x409, false);

const TMoment Sample = 38169.0 + (13.0 * 3600 + 5 * 60 + 9) / 86400.0;

void Setup() {
  TOsSlot<TOsLocale>::Use(&BenchLocale);
  RegionalFormats = TRegionalFormats{};
}

// Times one call with the built-in regional settings.
template <class Call> void Measure(benchmark::State& state, Call call) {
  Setup();
  for (auto _ : state)
    benchmark::DoNotOptimize(call());
}

void BM_FormatMomentLauncherPattern(benchmark::State& state) {
  Measure(state, [] { return FormatMoment("yyyy/mm/dd hh:nn:ss", Sample); });
}
BENCHMARK(BM_FormatMomentLauncherPattern);

void BM_FormatMomentMonthPattern(benchmark::State& state) {
  Measure(state, [] { return FormatMoment("yyyy\"-\"mm", Sample); });
}
BENCHMARK(BM_FormatMomentMonthPattern);

void BM_FormatMomentLongPattern(benchmark::State& state) {
  Measure(state, [] { return FormatMoment("dddd, dddddd tt zzz 'literal text' ampm", Sample); });
}
BENCHMARK(BM_FormatMomentLongPattern);

void BM_MomentToText(benchmark::State& state) {
  Measure(state, [] { return MomentToText(Sample); });
}
BENCHMARK(BM_MomentToText);

void BM_TextToMoment(benchmark::State& state) {
  Setup();
  const std::string text = MomentToText(Sample); // 7/1/04 1:05:09 pm
  Measure(state, [&] { return TextToMoment(text); });
}
BENCHMARK(BM_TextToMoment);

void BM_TextToMomentTimeOnly(benchmark::State& state) {
  const std::string text = "4:00:00 am";
  Measure(state, [&] { return TextToMoment(text); });
}
BENCHMARK(BM_TextToMomentTimeOnly);

} // namespace

BENCHMARK_MAIN();
