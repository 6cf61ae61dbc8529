// Separable in-place blur of a rectangle of a PixelBuffer: rows first, then columns. Box mode
// runs one or three fractional-radius box filters per line (8/16-bit buffers); Gaussian mode
// convolves each line once with a sampled Gaussian. The glow pass owns one filter per sequence.
#pragma once

#include "image/PixelBuffer.h"

#include <cstdint>

namespace fx {

class BlurFilter {
public:
    // Asked by the passes every 100 lines. Called from worker threads, possibly several at once,
    // so implementations must be thread-safe and must not throw.
    class Callbacks {
    public:
        // index: absolute row (horizontal pass) or column (vertical pass) number, a multiple of
        // 100; total: lines in the pass. Returning true stops the pass at the next line.
        virtual bool progress(int32_t index, int32_t total) = 0;

    protected:
        // Never deleted through this interface.
        ~Callbacks() = default;
    };

    // Never asks to stop. One shared instance serves every filter.
    class DefaultCallbacks final : public Callbacks {
    public:
        bool progress(int32_t index, int32_t total) override;
        static DefaultCallbacks& shared();
    };

    BlurFilter();

    // Sets the radii (pixels). In Gaussian mode both are tripled first, so the Gaussian's sigma
    // is about 1.5 x / pi for an amount x.
    void setRadius(float x, float y);

    // Blurs `rect` of `buffer` in place (rect is clipped to the buffer) and sets `aborted`.
    // Four-channel buffers hold alpha, red, green, blue; 8-bit and 16-bit channels are taken
    // as 0..1 (255 and 32768 are full) and written back clamped and truncated; float channels
    // are filtered as they are, unclamped. The first float buffer switches the filter to
    // Gaussian mode with tripled radii for good. Buffers with a channel count other than 1 or
    // 4, or bytes per channel other than 1, 2 or 4, are left alone. If the scratch block
    // cannot be had, the buffer is left unchanged and `aborted` is set.
    void apply(PixelBuffer& buffer, const Rect& rect);

    // The same, asking `progress` instead of the filter's own handler (which never stops).
    void apply(PixelBuffer& buffer, const Rect& rect, Callbacks& progress);

    float radiusX = 0.0f; // along rows, pixels
    float radiusY = 0.0f; // along columns, pixels
    // Box mode only: 0 runs one box filter per line, anything else three.
    int32_t extraPasses = 0;
    // Four-channel buffers: 0 all channels, 1 the colour channels, 2 alpha only, anything else
    // none (the buffer stays unchanged). Ignored for one-channel buffers.
    int32_t channelSelect = 0;
    // 0 box mode, anything else Gaussian mode. The filter itself only ever stores 1.
    int32_t mode = 0;
    // Carried for the filter's owner; apply installs its own handler instead.
    Callbacks* callbacks = nullptr;
    // Set by apply: true when a pass was cancelled or the scratch block could not be had.
    bool aborted = false;
};

// The handler apply hands to its passes: never asks to stop.
class BlurProgressHandler final : public BlurFilter::Callbacks {
public:
    bool progress(int32_t index, int32_t total) override;
};

} // namespace fx
