// The two blur filters over a full HD four-channel frame at every depth: three box passes,
// the float Gaussian of the glow (sigma about 31), and the variable-radius blur, serial walk
// against the parallel passes. OpenCV's box and Gaussian blurs run beside them when found.
#include "fx/BlurFilter.h"
#include "fx/VariableBlurFilter.h"
#include "image/PixelBuffer.h"
#include "tests/fx/SerialVariableBlur.h"

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef ZP_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int64_t kPixels = static_cast<int64_t>(kWidth) * kHeight;

// Box amount 20: three passes of per-pass radius 10, a 21-tap window (whole radius). Amount 21
// gives per-pass radius 10.5: the same window plus two half-weight taps (fractional radius).
constexpr float kBoxAmount = 20.0f;
constexpr float kBoxAmountFractional = 21.0f;
constexpr int32_t kBoxWindow = 21;
// Gaussian amount 65: stored as 195, half-width 97, s = 97.5, sigma = s / pi = 31.04.
constexpr float kGaussAmount = 65.0f;
constexpr int32_t kGaussTaps = 195;
constexpr double kGaussSigma = 97.5 / 3.1415927;
constexpr float kVariableRadius = 30.0f;

template <typename T> struct Frame {
    std::vector<T> memory;
    std::vector<T> original;
    PixelBuffer buf;
    Frame() : memory(static_cast<size_t>(kPixels) * 4) {
        // Smooth alpha with transparent patches (the effects weight the variable blur sees),
        // noisy colour.
        uint32_t seed = 4242;
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                T* px = memory.data() + (static_cast<size_t>(y) * kWidth + x) * 4;
                const float wave = 0.5f + 0.5f * std::sin(x * 0.01f) * std::cos(y * 0.013f);
                const float alpha = wave < 0.2f ? 0.0f : wave;
                for (int32_t c = 0; c < 4; ++c) {
                    seed = seed * 1664525u + 1013904223u;
                    const float u = c == 0 ? alpha : static_cast<float>(seed >> 8) / 16777216.0f;
                    if constexpr (sizeof(T) == 1) {
                        px[c] = static_cast<T>(u * 255.0f);
                    } else if constexpr (sizeof(T) == 2) {
                        px[c] = static_cast<T>(u * 32768.0f);
                    } else {
                        px[c] = u;
                    }
                }
            }
        }
        original = memory;
        buf = wrapPixels(memory.data(), 0, kWidth, kHeight, sizeof(T), nullptr);
    }
    void restore() { std::memcpy(memory.data(), original.data(), memory.size() * sizeof(T)); }
};

template <typename T> Frame<T>& frame() {
    static Frame<T> f;
    return f;
}

template <typename T> void BM_BoxThree(benchmark::State& state) {
    Frame<T>& f = frame<T>();
    fx::BlurFilter filter;
    const float amount = state.range(0) != 0 ? kBoxAmountFractional : kBoxAmount;
    filter.setRadius(amount, amount);
    filter.extraPasses = 2;
    for (auto _ : state) {
        filter.apply(f.buf, f.buf.bounds);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_GaussianFloat(benchmark::State& state) {
    Frame<float>& f = frame<float>();
    fx::BlurFilter filter;
    filter.mode = 1;
    filter.setRadius(kGaussAmount, kGaussAmount);
    for (auto _ : state) {
        state.PauseTiming();
        f.restore();
        state.ResumeTiming();
        filter.apply(f.buf, f.buf.bounds);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

template <typename T> void BM_VariableSerial(benchmark::State& state) {
    Frame<T>& f = frame<T>();
    for (auto _ : state) {
        state.PauseTiming();
        f.restore();
        // A fresh filter each time: kernels are built during the walk, as on a radius change.
        fxtest::SerialVariableBlur filter;
        filter.setRadius(kVariableRadius, kVariableRadius);
        state.ResumeTiming();
        filter.apply(f.buf, f.buf.bounds, f.buf.bounds);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

// Argument: thread count (0 = the default team).
template <typename T> void BM_VariableParallel(benchmark::State& state) {
    Frame<T>& f = frame<T>();
    const int32_t saved = omp_get_max_threads();
    if (state.range(0) > 0)
        omp_set_num_threads(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        f.restore();
        VariableBlurFilter filter;
        filter.setRadius(kVariableRadius, kVariableRadius);
        state.ResumeTiming();
        filter.apply(f.buf, f.buf.bounds, f.buf.bounds);
        benchmark::ClobberMemory();
    }
    omp_set_num_threads(saved);
    state.SetItemsProcessed(state.iterations() * kPixels);
}

// Argument: 0 whole per-pass radius, 1 fractional.
BENCHMARK(BM_BoxThree<uint8_t>)
    ->Name("Box3/8bit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BoxThree<uint16_t>)
    ->Name("Box3/16bit")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_GaussianFloat)->Name("Gaussian/float")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VariableSerial<uint8_t>)
    ->Name("Variable/serial/8bit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VariableSerial<uint16_t>)
    ->Name("Variable/serial/16bit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VariableSerial<float>)
    ->Name("Variable/serial/float")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VariableParallel<uint8_t>)
    ->Name("Variable/parallel/8bit")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VariableParallel<uint16_t>)
    ->Name("Variable/parallel/16bit")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_VariableParallel<float>)
    ->Name("Variable/parallel/float")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef ZP_HAVE_OPENCV
template <typename T> cv::Mat matOf(Frame<T>& f) {
    const int type = sizeof(T) == 1 ? CV_8UC4 : (sizeof(T) == 2 ? CV_16UC4 : CV_32FC4);
    return cv::Mat(kHeight, kWidth, type, f.memory.data());
}

template <typename T> void BM_CvBoxThree(benchmark::State& state) {
    Frame<T>& f = frame<T>();
    cv::Mat img = matOf(f);
    cv::Mat tmp(img.size(), img.type());
    const cv::Size window(kBoxWindow, kBoxWindow);
    for (auto _ : state) {
        cv::blur(img, tmp, window);
        cv::blur(tmp, img, window);
        cv::blur(img, tmp, window);
        benchmark::DoNotOptimize(tmp.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void BM_CvGaussianFloat(benchmark::State& state) {
    Frame<float>& f = frame<float>();
    cv::Mat img = matOf(f);
    cv::Mat out(img.size(), img.type());
    const int taps = state.range(0) > 0 ? kGaussTaps : 0; // 0: OpenCV's own size from sigma
    for (auto _ : state) {
        cv::GaussianBlur(img, out, cv::Size(taps, taps), kGaussSigma, kGaussSigma,
                         cv::BORDER_REPLICATE);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

BENCHMARK(BM_CvBoxThree<uint8_t>)
    ->Name("OpenCV/blur3/8bit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CvBoxThree<uint16_t>)
    ->Name("OpenCV/blur3/16bit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CvGaussianFloat)
    ->Name("OpenCV/GaussianBlur/float")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

} // namespace
