// The zone blend last made over a sequence's kept label map, so that a frame which changes one
// zone's colour settings runs only that zone's adjuster, and only on the pixels it reaches. A
// blended pixel is a pure function of its colour before blending, its cell and the adjusters of
// the cell's labels. What is kept: the output as it was before that blend (to recognise the same
// pixels, compared byte for byte), the blend's result, the colours each label slot's adjuster
// made of each pixel, and what every label's adjuster was then (its settings, compared bit for
// bit: an adjuster's colours follow from them alone).
//
// Its three blocks are plain heap memory, freed when it is destroyed: a kept blend may outlive
// every sequence and the host-backed memory handler. It belongs to the label map it was made
// over; the library's store lends it to one frame at a time, since reusing it rewrites it.
#pragma once

#include "color/AdjusterSettings.h"
#include "color/ZoneBlend.h"
#include "image/PixelBuffer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class ColorAdjuster;

class KeptBlend {
public:
    // Labels are raster bytes: 1..255.
    static constexpr int kLabels = 256;

    // Bytes kept for an output of that size and depth (bytes a pixel).
    static int64_t bytesFor(int32_t width, int32_t height, int32_t bytesPerPixel);

    // One for `output` as it is now, before blending (four channels, any depth): its pixels
    // are copied in. `recycled`, an earlier one of the same size and depth, lends its blocks
    // (memory already touched, so a frame does not pay for fresh pages). Null when a block
    // cannot be had; keeping is only ever an optimisation.
    static std::unique_ptr<KeptBlend> make(const PixelBuffer& output,
                                           std::unique_ptr<KeptBlend> recycled = nullptr);
    ~KeptBlend();
    KeptBlend(const KeptBlend&) = delete;
    KeptBlend& operator=(const KeptBlend&) = delete;

    // Whether `output`, about to be blended, has this one's size, depth and pixels.
    bool sameOutput(const PixelBuffer& output) const;

    // The reuse for blendZones with these adjusters (entry L - 1 for label L, as blendZones
    // takes them): every label whose adjuster is not the one recorded is marked changed; all
    // of them until record() was called. `changed` (kLabels entries) must outlive the call.
    BlendReuse reuse(const std::vector<ColorAdjuster*>& adjusters,
                     std::array<uint8_t, kLabels>& changed);
    // Notes the adjusters the kept result now stands for; call right after blendZones.
    void record(const std::vector<ColorAdjuster*>& adjusters);

    int64_t bytes() const { return bytesFor(width_, height_, bytesPerPixel_); }

private:
    explicit KeptBlend(const PixelBuffer& output);

    struct LabelAdjuster {
        bool present = false;
        AdjusterSettings settings;
    };

    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t bytesPerPixel_ = 0;
    std::unique_ptr<uint8_t[]> before_;
    std::unique_ptr<uint8_t[]> result_;
    std::unique_ptr<float[]> slots_;
    bool recorded_ = false;
    std::array<LabelAdjuster, kLabels> labels_{};
};
