// Label propagation and stroke drawing at frame sizes, on a synthetic picture with smooth
// shading, texture and hard-edged shapes, seeded by a dozen curved brush strokes.
#include "render/LabelPropagator.h"
#include "render/Mask.h"
#include "render/Strokes.h"

#include <benchmark/benchmark.h>
#ifdef ZP_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Fractal value noise, 0..1: a few octaves of smoothly interpolated lattice values.
class ValueNoise {
public:
    explicit ValueNoise(uint32_t seed) : lattice_(kSize * kSize) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (double& v : lattice_)
            v = u(rng);
    }
    double operator()(double x, double y) const {
        double sum = 0, amplitude = 0.5, total = 0;
        for (int octave = 0; octave < 5; ++octave) {
            sum += amplitude * smooth(x, y);
            total += amplitude;
            x *= 2.03;
            y *= 2.03;
            amplitude *= 0.5;
        }
        return sum / total;
    }

private:
    static constexpr int kSize = 256;
    double at(int x, int y) const {
        return lattice_[(y & (kSize - 1)) * kSize + (x & (kSize - 1))];
    }
    double smooth(double x, double y) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
        double tx = x - fx, ty = y - fy;
        tx = tx * tx * (3 - 2 * tx);
        ty = ty * ty * (3 - 2 * ty);
        const double top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
        const double bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
        return top + (bottom - top) * ty;
    }
    std::vector<double> lattice_;
};

std::vector<uint8_t> naturalImage(int width, int height) {
    const ValueNoise shading(1), texture(2);
    std::mt19937 rng(3);
    struct Disc {
        double x, y, r, shift;
    };
    std::vector<Disc> discs;
    for (int i = 0; i < 14; ++i) {
        discs.push_back(Disc{std::uniform_real_distribution<double>(0, width)(rng),
                             std::uniform_real_distribution<double>(0, height)(rng),
                             std::uniform_real_distribution<double>(0.03, 0.15)(rng) * width,
                             std::uniform_real_distribution<double>(-90, 90)(rng)});
    }
    const double scale = 6.0 / width; // a handful of large features across the frame
    const double horizon = height * 0.45;
    std::vector<uint8_t> image(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double v = 60 + 140 * shading(x * scale, y * scale);
            v += 18 * (texture(x * scale * 40, y * scale * 40) - 0.5);
            if (y < horizon + 30 * std::sin(x * 4.0 / width))
                v += 45; // bright sky
            for (const Disc& d : discs) {
                const double dx = x - d.x, dy = y - d.y;
                if (dx * dx + dy * dy < d.r * d.r)
                    v += d.shift;
            }
            image[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
    return image;
}

// Curved strokes of the kind a user draws to mark regions, in layer pixels.
std::vector<MaskRef> brushStrokes(int width, int height) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> ux(0.05 * width, 0.95 * width);
    std::uniform_real_distribution<double> uy(0.05 * height, 0.95 * height);
    std::uniform_real_distribution<double> step(-0.12, 0.12);
    std::vector<MaskRef> masks;
    for (int m = 0; m < 12; ++m) {
        MaskRef mask(new Mask);
        mask->label = static_cast<uint16_t>(2 + m % 10);
        double x = ux(rng), y = uy(rng);
        for (int v = 0; v < 6; ++v) {
            MaskVertex vx;
            vx.x = x;
            vx.y = y;
            vx.tan_in_x = -0.05 * width * step(rng) * 4;
            vx.tan_in_y = 0.05 * height * step(rng) * 4;
            vx.tan_out_x = -vx.tan_in_x;
            vx.tan_out_y = -vx.tan_in_y;
            mask->vertices.push_back(vx);
            x = std::clamp(x + step(rng) * width, 0.0, width - 1.0);
            y = std::clamp(y + step(rng) * height, 0.0, height - 1.0);
        }
        masks.push_back(mask);
    }
    return masks;
}

PixelBuffer rasterOver(std::vector<uint8_t>& bytes, int width, int height) {
    PixelBuffer b;
    b.data = b.row0 = bytes.data();
    b.width = width;
    b.height = height;
    b.channels = b.bytesPerChannel = b.bytesPerPixel = 1;
    b.rowBytes = b.rowStep = width;
    b.bounds = Rect{0, 0, height, width};
    return b;
}

// A seeded map as the pipeline hands it to the propagation.
std::vector<LabelCell> seededCells(int width, int height) {
    const std::vector<uint8_t> image = naturalImage(width, height);
    std::vector<uint8_t> strokes(static_cast<size_t>(width) * height, 0);
    PixelBuffer raster = rasterOver(strokes, width, height);
    for (const MaskRef& m : brushStrokes(width, height))
        drawMaskOutline(raster, *m, 1.0, 1.0, 0, 0);
    std::vector<LabelCell> cells(strokes.size(), LabelCell{});
    for (size_t i = 0; i < cells.size(); ++i) {
        cells[i].intensity = image[i];
        if (strokes[i] != 0) {
            cells[i].label0 = strokes[i];
            cells[i].seed = 1;
        }
    }
    return cells;
}

void BM_PropagateLabels(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<LabelCell> pristine = seededCells(width, height);
    std::vector<LabelCell> cells(pristine.size());
    LabelMap map;
    map.width = map.boundsWidth = width;
    map.height = map.boundsHeight = height;
    map.cells = cells.data();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(cells.data(), pristine.data(), cells.size() * sizeof(LabelCell));
        state.ResumeTiming();
        benchmark::DoNotOptimize(propagateLabels(map));
        benchmark::ClobberMemory();
    }
    size_t labels = 0;
    for (const LabelCell& c : cells)
        labels += (c.label0 != 0) + (c.label1 != 0) + (c.label2 != 0);
    state.counters["labels/pixel"] = static_cast<double>(labels) / cells.size();
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(cells.size()));
}
BENCHMARK(BM_PropagateLabels)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

#ifdef ZP_HAVE_OPENCV
// OpenCV's marker watershed on the same picture and seeds: one label per pixel, a 256-level
// queue, no cost kept; the yardstick the exact three-label propagation is compared with.
void BM_MarkerWatershed(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<LabelCell> seeded = seededCells(width, height);
    cv::Mat picture(height, width, CV_8UC3);
    cv::Mat pristine(height, width, CV_32SC1);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const LabelCell& c = seeded[static_cast<size_t>(y) * width + x];
            picture.at<cv::Vec3b>(y, x) = cv::Vec3b(c.intensity, c.intensity, c.intensity);
            pristine.at<int32_t>(y, x) = c.seed != 0 ? c.label0 : 0;
        }
    }
    cv::Mat markers;
    for (auto _ : state) {
        state.PauseTiming();
        pristine.copyTo(markers);
        state.ResumeTiming();
        cv::watershed(picture, markers);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(width) * height);
}
BENCHMARK(BM_MarkerWatershed)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

void BM_DrawStrokes(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::vector<MaskRef> masks = brushStrokes(width, height);
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height, 0);
    PixelBuffer raster = rasterOver(bytes, width, height);
    for (auto _ : state) {
        for (const MaskRef& m : masks)
            drawMaskOutline(raster, *m, 1.0, 1.0, 0, 0);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(masks.size()));
}
BENCHMARK(BM_DrawStrokes)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);

} // namespace
