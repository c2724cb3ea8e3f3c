// The three conversions per call, each beside the raw std::from_chars or
// std::to_chars call on the same values.
#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <string>

#include "conversions.h"

using namespace pesolane;

namespace {

const std::array<std::string, 8> kTexts{"0.1", "1000", "10", "50", "52.631579", "265", "500", "3976.1431411530816"};
const std::array<double, 8> kValues{1.0, 5000.0, 50.5, 500.5, 52.63157894736842, 9.934, 100.0, 1.3916500994035788};

void LeadingNumber_perCall(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(LeadingNumber(kTexts[i++ % kTexts.size()]));
    }
}

void rawFromChars_perCall(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& t = kTexts[i++ % kTexts.size()];
        double v = 0;
        benchmark::DoNotOptimize(std::from_chars(t.data(), t.data() + t.size(), v));
        benchmark::DoNotOptimize(v);
    }
}

void LocaleText_perCall(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(LocaleText(kValues[i++ % kValues.size()], ","));
}

void rawToCharsScientific15_perCall(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        char buf[40];
        const auto r = std::to_chars(buf, buf + sizeof buf, kValues[i++ % kValues.size()], std::chars_format::scientific, 14);
        benchmark::DoNotOptimize(std::string(buf, r.ptr));
    }
}

void MaskedText_perCall(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(MaskedText(kValues[i++ % kValues.size()], kMaskPdsEcht2, ","));
}

void rawToCharsFixed6_perCall(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, kValues[i++ % kValues.size()], std::chars_format::fixed, 6);
        benchmark::DoNotOptimize(std::string(buf, r.ptr));
    }
}

void LeadingNumber_megabyteOfBlanks(benchmark::State& state) {
    const std::string text = std::string(1 << 20, ' ') + "5";
    for (auto _ : state) benchmark::DoNotOptimize(LeadingNumber(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void LeadingNumber_megabyteOfDigits(benchmark::State& state) {
    const std::string text(1 << 20, '7');
    for (auto _ : state) benchmark::DoNotOptimize(LeadingNumber(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK(LeadingNumber_perCall);
BENCHMARK(rawFromChars_perCall);
BENCHMARK(LocaleText_perCall);
BENCHMARK(rawToCharsScientific15_perCall);
BENCHMARK(MaskedText_perCall);
BENCHMARK(rawToCharsFixed6_perCall);
BENCHMARK(LeadingNumber_megabyteOfBlanks);
BENCHMARK(LeadingNumber_megabyteOfDigits);
BENCHMARK_MAIN();
