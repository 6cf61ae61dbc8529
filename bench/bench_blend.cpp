// Zone blend and label-map preparation over a full HD frame, at every depth.
#include "color/ColorAdjuster.h"
#include "color/ZoneBlend.h"

#include "image/LabelMap.h"
#include "image/PixelBuffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int64_t kPixels = static_cast<int64_t>(kWidth) * kHeight;

template <typename T> struct Frame {
    std::vector<T> memory;
    PixelBuffer buf;
    Frame() : memory(static_cast<size_t>(kPixels) * 4) {
        uint32_t seed = 777;
        for (T& v : memory) {
            seed = seed * 1664525u + 1013904223u;
            const float u = static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
            if constexpr (sizeof(T) == 1) {
                v = static_cast<T>(u * 255.0f);
            } else if constexpr (sizeof(T) == 2) {
                v = static_cast<T>(u * 32768.0f);
            } else {
                v = u;
            }
        }
        buf = wrapPixels(memory.data(), 0, kWidth, kHeight, sizeof(T), nullptr);
    }
};

// Labels 1..3 spread over the frame; `labels` slots used per cell, costs 0 for one label and
// growing costs otherwise (the powf path).
struct Labels {
    std::vector<LabelCell> cells;
    LabelMap map;
    explicit Labels(int labels) : cells(static_cast<size_t>(kPixels), LabelCell{}) {
        map.width = map.boundsWidth = kWidth;
        map.height = map.boundsHeight = kHeight;
        map.cells = cells.data();
        for (int64_t i = 0; i < kPixels; ++i) {
            for (int k = 0; k < labels; ++k) {
                const uint16_t cost = labels == 1 ? 0 : static_cast<uint16_t>(1 + (i + k) % 40);
                cells[static_cast<size_t>(i)].set(k, static_cast<uint16_t>(1 + (i / 64 + k) % 3),
                                                  cost);
            }
        }
    }
};

enum Setup { Neutral, ToneOnly, Everything };

void configure(ColorAdjuster& adj, Setup setup, float shift) {
    AdjusterSettings s;
    s.effects = 0.5f;
    if (setup != Neutral) {
        s.brightness = 0.1f + shift;
        s.contrast = 0.2f;
        s.gamma = 0.3f;
        s.temperature = 0.1f;
    }
    if (setup == Everything) {
        s.tintRed = 0.9f;
        s.tintGreen = 0.4f;
        s.tintBlue = 0.2f;
        s.tintAmount = 0.6f;
        s.hue = 20.0f / 360.0f;
        s.saturation = 0.2f;
    }
    adj.setSettings(s);
}

template <typename T> void runBlend(benchmark::State& state, Setup setup, int labels) {
    Frame<T> frame;
    Labels map(labels);
    ColorAdjuster a, b, c;
    configure(a, setup, 0.0f);
    configure(b, setup, 0.05f);
    configure(c, setup, -0.05f);
    const std::vector<ColorAdjuster*> list = {&a, &b, &c};
    // Each round starts from the same colours: blending in place would drift them (float
    // values out of 0..1 take the slower direct tone path), so the copy is left out of the time.
    const std::vector<T> source = frame.memory;
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin(), source.end(), frame.memory.begin());
        state.ResumeTiming();
        blendZones(frame.buf, list, map.map, 4.0f);
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kPixels / 1e6, benchmark::Counter::kIsRate);
}

template <typename T> void runIntensity(benchmark::State& state) {
    Frame<T> frame;
    Labels map(0);
    for (auto _ : state) {
        fillLabelIntensity(map.map, frame.buf, frame.buf.bounds);
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kPixels / 1e6, benchmark::Counter::kIsRate);
}

void BM_Blend8_OneLabel_Neutral(benchmark::State& s) {
    runBlend<uint8_t>(s, Neutral, 1);
}
void BM_Blend8_OneLabel_Tone(benchmark::State& s) {
    runBlend<uint8_t>(s, ToneOnly, 1);
}
void BM_Blend8_OneLabel_Everything(benchmark::State& s) {
    runBlend<uint8_t>(s, Everything, 1);
}
void BM_Blend8_ThreeLabels_Tone(benchmark::State& s) {
    runBlend<uint8_t>(s, ToneOnly, 3);
}
void BM_Blend16_OneLabel_Tone(benchmark::State& s) {
    runBlend<uint16_t>(s, ToneOnly, 1);
}
void BM_BlendFloat_OneLabel_Tone(benchmark::State& s) {
    runBlend<float>(s, ToneOnly, 1);
}
void BM_Intensity8(benchmark::State& s) {
    runIntensity<uint8_t>(s);
}
void BM_Intensity16(benchmark::State& s) {
    runIntensity<uint16_t>(s);
}
void BM_IntensityFloat(benchmark::State& s) {
    runIntensity<float>(s);
}

} // namespace

BENCHMARK(BM_Blend8_OneLabel_Neutral)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Blend8_OneLabel_Tone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Blend8_OneLabel_Everything)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Blend8_ThreeLabels_Tone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Blend16_OneLabel_Tone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BlendFloat_OneLabel_Tone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Intensity8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Intensity16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IntensityFloat)->Unit(benchmark::kMillisecond)->UseRealTime();
