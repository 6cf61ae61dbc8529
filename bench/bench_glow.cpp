// Fill light and glow over a full HD frame at every depth, the glow in each blend mode, with
// and without its blur (the blur's own cost is measured with the blur filter).
#include "color/FillLight.h"
#include "color/Glow.h"
#include "color/ToneLut.h"

#include "fx/BlurFilter.h"
#include "image/PixelBuffer.h"
#include "tests/support/CountingMemoryHandler.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int64_t kPixels = static_cast<int64_t>(kWidth) * kHeight;

// Random colours; alpha (the effects weight) 0 on a quarter of the pixels, as where no zone
// asks for effects, and spread over the whole range elsewhere.
template <typename T> struct Frame {
    std::vector<T> memory;
    std::vector<T> pristine;
    PixelBuffer buf;
    Frame() : memory(static_cast<size_t>(kPixels) * 4) {
        uint32_t seed = 4242;
        for (size_t i = 0; i < memory.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            float u = static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
            if (i % 4 == 0 && (seed >> 30) == 0)
                u = 0.0f;
            if constexpr (sizeof(T) == 1) {
                memory[i] = static_cast<T>(u * 255.0f);
            } else if constexpr (sizeof(T) == 2) {
                memory[i] = static_cast<T>(u * 32768.0f);
            } else {
                memory[i] = u;
            }
        }
        pristine = memory;
        buf = wrapPixels(memory.data(), 0, kWidth, kHeight, sizeof(T), nullptr);
    }
    // The passes work in place; every round starts from the same colours, outside the time.
    void restore(benchmark::State& state) {
        state.PauseTiming();
        std::copy(pristine.begin(), pristine.end(), memory.begin());
        state.ResumeTiming();
    }
};

void rate(benchmark::State& state) {
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kPixels / 1e6, benchmark::Counter::kIsRate);
}

template <typename T> void runFillLight(benchmark::State& state) {
    Frame<T> frame;
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(0.0, 1.6); // the defaults: position 0, range 80
    FillLight light{1.0f, 0.0f, 1.6f, lut.get()};
    for (auto _ : state) {
        frame.restore(state);
        applyFillLight(light, frame.buf, frame.buf.bounds);
        benchmark::ClobberMemory();
    }
    rate(state);
}

template <typename T> void runGlow(benchmark::State& state) {
    const int32_t mode = static_cast<int32_t>(state.range(0));
    const float blur = static_cast<float>(state.range(1));
    Frame<T> frame;
    auto lut = std::make_unique<ToneLut>();
    lut->setBump(1.0, 1.6); // the defaults: position 100, range 80
    auto filter = std::make_unique<fx::BlurFilter>();
    zptest::CountingMemoryHandler handler;
    Glow glow;
    glow.amount = 2.5f; // "Screen" then runs two full screens and a partial one
    glow.blurX = glow.blurY = blur;
    glow.colorAlpha = glow.colorRed = 1.0f;
    glow.colorGreen = 0.9f;
    glow.colorBlue = 0.7f;
    glow.blendMode = mode;
    glow.position = 1.0f;
    glow.range = 1.6f;
    glow.lut = lut.get();
    glow.filter = filter.get();
    for (auto _ : state) {
        frame.restore(state);
        applyGlow(glow, frame.buf, frame.buf.bounds, handler);
        benchmark::ClobberMemory();
    }
    rate(state);
}

// Modes 0 "Add", 1 "Normal", 2 "Screen"; blur 0 (the pass alone) and 65 pixels ("Blur" 20 on a
// 1080-line layer).
void glowArgs(benchmark::internal::Benchmark* b) {
    for (int64_t mode : {0, 1, 2}) {
        for (int64_t blur : {0, 65}) {
            b->Args({mode, blur});
        }
    }
    b->ArgNames({"mode", "blur"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(runFillLight<uint8_t>)->Name("FillLight8")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(runFillLight<uint16_t>)
    ->Name("FillLight16")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(runFillLight<float>)
    ->Name("FillLightFloat")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(runGlow<uint8_t>)->Name("Glow8")->Apply(glowArgs);
BENCHMARK(runGlow<uint16_t>)->Name("Glow16")->Apply(glowArgs);
BENCHMARK(runGlow<float>)->Name("GlowFloat")->Apply(glowArgs);
