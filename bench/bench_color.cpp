// Colour adjuster per-pixel throughput by active stages, and the cost of table rebuilds.
#include "color/ColorAdjuster.h"
#include "color/ToneLut.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kPixels = 1 << 16;

// A spread of colours, a few of them grey, all in 0..1 as 8/16-bit images deliver them.
std::vector<float> samplePixels() {
    std::vector<float> px(static_cast<size_t>(kPixels) * 4);
    uint32_t seed = 12345;
    for (float& v : px) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
    }
    for (int32_t i = 0; i < kPixels; i += 16) {
        px[4 * i + 2] = px[4 * i + 3] = px[4 * i + 1];
    }
    return px;
}

AdjusterSettings tintOnly() {
    AdjusterSettings s;
    s.tintRed = 0.9f;
    s.tintGreen = 0.4f;
    s.tintBlue = 0.2f;
    s.tintAmount = 0.7f;
    s.effects = 0.5f;
    return s;
}

AdjusterSettings hueSaturation() {
    AdjusterSettings s;
    s.hue = 30.0f / 360.0f;
    s.saturation = -0.4f;
    return s;
}

AdjusterSettings toneOnly() {
    AdjusterSettings s;
    s.brightness = 0.1f;
    s.contrast = 0.2f;
    s.gamma = 0.3f;
    s.redGain = -0.1f;
    s.temperature = 0.15f;
    return s;
}

AdjusterSettings everything() {
    AdjusterSettings s = tintOnly();
    const AdjusterSettings t = toneOnly();
    s.hue = 30.0f / 360.0f;
    s.saturation = 0.3f;
    s.brightness = t.brightness;
    s.contrast = t.contrast;
    s.gamma = t.gamma;
    s.redGain = t.redGain;
    s.temperature = t.temperature;
    s.cyanMagenta = -0.2f;
    return s;
}

void runApply(benchmark::State& state, const AdjusterSettings& settings) {
    ColorAdjuster adj;
    adj.setSettings(settings);
    const std::vector<float> source = samplePixels();
    std::vector<float> work(source.size());
    for (auto _ : state) {
        // Re-start from the same colours so each round measures the same work.
        work = source;
        for (int32_t i = 0; i < kPixels; ++i) {
            adj.apply(work.data() + 4 * i);
        }
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kPixels / 1e6, benchmark::Counter::kIsRate);
}

void BM_ApplyNeutral(benchmark::State& state) {
    runApply(state, AdjusterSettings{});
}
void BM_ApplyTintOnly(benchmark::State& state) {
    runApply(state, tintOnly());
}
void BM_ApplyHueSaturation(benchmark::State& state) {
    runApply(state, hueSaturation());
}
void BM_ApplyToneOnly(benchmark::State& state) {
    runApply(state, toneOnly());
}
void BM_ApplyEverything(benchmark::State& state) {
    runApply(state, everything());
}

// Alternating two tone groups forces a rebuild on every call.
void BM_SetSettingsRebuild(benchmark::State& state) {
    ColorAdjuster adj;
    AdjusterSettings a = everything();
    AdjusterSettings b = a;
    b.gamma = -0.25f;
    bool flip = false;
    for (auto _ : state) {
        adj.setSettings(flip ? a : b);
        flip = !flip;
        benchmark::DoNotOptimize(adj.redTable());
    }
}

// Constant settings, as when scrubbing: no rebuild.
void BM_SetSettingsUnchanged(benchmark::State& state) {
    ColorAdjuster adj;
    const AdjusterSettings a = everything();
    for (auto _ : state) {
        adj.setSettings(a);
        benchmark::DoNotOptimize(adj.redTable());
    }
}

void BM_ToneLutTable16(benchmark::State& state) {
    auto lut = std::make_unique<ToneLut>();
    bool flip = false;
    for (auto _ : state) {
        lut->setBump(flip ? 0.3 : 0.35, 1.6);
        flip = !flip;
        benchmark::DoNotOptimize(lut->table16());
    }
}

void BM_ToneLutTable8(benchmark::State& state) {
    auto lut = std::make_unique<ToneLut>();
    bool flip = false;
    for (auto _ : state) {
        lut->setBump(flip ? 0.3 : 0.35, 1.6);
        flip = !flip;
        benchmark::DoNotOptimize(lut->table8());
    }
}

} // namespace

BENCHMARK(BM_ApplyNeutral);
BENCHMARK(BM_ApplyTintOnly);
BENCHMARK(BM_ApplyHueSaturation);
BENCHMARK(BM_ApplyToneOnly);
BENCHMARK(BM_ApplyEverything);
BENCHMARK(BM_SetSettingsRebuild)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetSettingsUnchanged);
BENCHMARK(BM_ToneLutTable16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToneLutTable8)->Unit(benchmark::kMicrosecond);
