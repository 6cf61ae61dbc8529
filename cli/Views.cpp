#include "cli/Views.h"

#include "image/LabelMap.h"
#include "image/PixelTraits.h"

#include <cstring>
#include <stdexcept>

namespace zpcli {

void FrameCapture::stageTime(const char* stage, double ms) {
    times.emplace_back(stage, ms);
}

void FrameCapture::strokes(const PixelBuffer& raster) {
    if (!keepImages_ || raster.row0 == nullptr)
        return;
    strokesWidth = raster.width;
    strokesHeight = raster.height;
    strokeLabels.resize(static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height));
    for (int32_t y = 0; y < raster.height; ++y)
        std::memcpy(&strokeLabels[static_cast<size_t>(y) * static_cast<size_t>(raster.width)],
                    raster.row(y), static_cast<size_t>(raster.width));
}

void FrameCapture::labels(const LabelMap& map) {
    if (!keepImages_ || map.cells == nullptr)
        return;
    labelsWidth = map.width;
    labelsHeight = map.height;
    const size_t n = static_cast<size_t>(map.width) * static_cast<size_t>(map.height);
    firstLabel.resize(n);
    firstCost.resize(n);
    for (size_t i = 0; i < n; ++i) {
        firstLabel[i] = map.cells[i].label0;
        firstCost[i] = map.cells[i].cost0;
    }
}

void FrameCapture::weights(const PixelBuffer& output) {
    if (!keepImages_ || output.row0 == nullptr)
        return;
    weightsWorld = std::make_unique<headless::HostWorld>(output.width, output.height,
                                                         output.bytesPerChannel, 0, 0);
    const size_t bytes =
        static_cast<size_t>(output.width) * static_cast<size_t>(output.bytesPerPixel);
    for (int32_t y = 0; y < output.height; ++y)
        std::memcpy(weightsWorld->row(y), output.row(y), bytes);
}

std::array<uint8_t, 3> labelColour(int label) {
    if (label <= 0)
        return {0, 0, 0};
    if (label == 1)
        return {200, 200, 200};
    // Neighbouring labels sit far apart on the ring, so adjacent groups never look alike.
    static constexpr std::array<std::array<uint8_t, 3>, 12> kRing = {{
        {255, 64, 64},
        {64, 200, 255},
        {255, 220, 40},
        {80, 230, 80},
        {240, 80, 240},
        {255, 150, 40},
        {140, 110, 255},
        {40, 240, 200},
        {255, 150, 180},
        {190, 255, 60},
        {60, 110, 255},
        {200, 150, 90},
    }};
    return kRing[static_cast<size_t>(label - 2) % kRing.size()];
}

float costShade(uint16_t cost) {
    return 1.0f / (1.0f + static_cast<float>(cost) / 64.0f);
}

namespace {

// An 8-bit colour component scaled by `shade` (0..1), in channel type T.
template <typename T> T component(uint8_t c, float shade) {
    const float unit = static_cast<float>(c) / 255.0f * shade;
    if constexpr (fx::PixelTraits<T>::isFloat)
        return unit;
    else
        return static_cast<T>(unit * fx::PixelTraits<T>::full + 0.5f);
}

template <typename T>
void paintStrokes(const headless::HostWorld& input, const FrameCapture& cap,
                  headless::HostWorld& view) {
    const T full = static_cast<T>(fx::PixelTraits<T>::full);
    const int w = view.width();
    const int h = view.height();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const T* src = reinterpret_cast<const T*>(input.row(y));
        T* dst = view.pixel<T>(0, y);
        const uint8_t* labels =
            cap.strokeLabels.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            dst[0] = full;
            if (labels[x] != 0) {
                const auto c = labelColour(labels[x]);
                for (int k = 0; k < 3; ++k)
                    dst[k + 1] = component<T>(c[static_cast<size_t>(k)], 1.0f);
            } else {
                for (int k = 1; k < 4; ++k) {
                    if constexpr (fx::PixelTraits<T>::isFloat)
                        dst[k] = src[k] / 3.0f;
                    else
                        dst[k] = static_cast<T>(src[k] / 3);
                }
            }
        }
    }
}

template <typename T> void paintLabels(const FrameCapture& cap, headless::HostWorld& view) {
    const T full = static_cast<T>(fx::PixelTraits<T>::full);
    const int w = view.width();
    const int h = view.height();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        T* dst = view.pixel<T>(0, y);
        const size_t first = static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x, dst += 4) {
            const uint16_t label = cap.firstLabel[first + static_cast<size_t>(x)];
            const auto c = labelColour(label);
            const float shade = costShade(cap.firstCost[first + static_cast<size_t>(x)]);
            dst[0] = full;
            for (int k = 0; k < 3; ++k)
                dst[k + 1] = component<T>(c[static_cast<size_t>(k)], shade);
        }
    }
}

template <typename T> void paintWeights(const FrameCapture& cap, headless::HostWorld& view) {
    const T full = static_cast<T>(fx::PixelTraits<T>::full);
    const int w = view.width();
    const int h = view.height();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const T* src = reinterpret_cast<const T*>(cap.weightsWorld->row(y));
        T* dst = view.pixel<T>(0, y);
        const size_t first = static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            // An unlabelled pixel's alpha is the input's, copied before the blend: no weight.
            const T weight = cap.firstLabel[first + static_cast<size_t>(x)] != 0 ? src[0] : T{0};
            dst[0] = full;
            dst[1] = dst[2] = dst[3] = weight;
        }
    }
}

void requireCaptured(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("the render produced no ") + what);
}

} // namespace

std::unique_ptr<headless::HostWorld> makeStrokesView(const headless::HostWorld& input,
                                                     const FrameCapture& capture) {
    requireCaptured(capture.strokesWidth == input.width() &&
                        capture.strokesHeight == input.height() && !capture.strokeLabels.empty(),
                    "strokes");
    auto view = std::make_unique<headless::HostWorld>(input.width(), input.height(),
                                                      input.bytesPerChannel(), 0, 0);
    fx::dispatchDepth(input.bytesPerChannel(),
                      [&]<typename T>() { paintStrokes<T>(input, capture, *view); });
    return view;
}

std::unique_ptr<headless::HostWorld> makeLabelsView(const FrameCapture& capture,
                                                    int bytesPerChannel) {
    requireCaptured(!capture.firstLabel.empty(), "labels");
    auto view = std::make_unique<headless::HostWorld>(capture.labelsWidth, capture.labelsHeight,
                                                      bytesPerChannel, 0, 0);
    fx::dispatchDepth(bytesPerChannel, [&]<typename T>() { paintLabels<T>(capture, *view); });
    return view;
}

std::unique_ptr<headless::HostWorld> makeWeightsView(const FrameCapture& capture) {
    requireCaptured(capture.weightsWorld != nullptr && !capture.firstLabel.empty() &&
                        capture.weightsWorld->width() == capture.labelsWidth &&
                        capture.weightsWorld->height() == capture.labelsHeight,
                    "weights");
    const headless::HostWorld& src = *capture.weightsWorld;
    auto view = std::make_unique<headless::HostWorld>(src.width(), src.height(),
                                                      src.bytesPerChannel(), 0, 0);
    fx::dispatchDepth(src.bytesPerChannel(),
                      [&]<typename T>() { paintWeights<T>(capture, *view); });
    return view;
}

std::unique_ptr<headless::HostWorld> makeView(View view, const headless::HostWorld& input,
                                              const FrameCapture& capture) {
    switch (view) {
    case View::Strokes:
        return makeStrokesView(input, capture);
    case View::Labels:
        return makeLabelsView(capture, input.bytesPerChannel());
    case View::Weights:
        return makeWeightsView(capture);
    case View::Image:
        break;
    }
    throw std::logic_error("the rendered image is the frame's output, not a view");
}

} // namespace zpcli
