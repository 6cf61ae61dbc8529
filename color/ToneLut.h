// The bell-shaped luma weight of the fill light and the glow, sampled into an 8-bit table
// (256 entries, 255 = weight 1) and a 16-bit table (65536 entries, 65535 = weight 1; used for
// 16-bit and float images). Each table is rebuilt lazily, on first use after a real change,
// so a project only ever builds the table of its own depth.
//
// About 128 KiB: keep it on the heap. Not thread-safe: setBump and the table accessors run on
// the render thread before the per-pixel loops read the returned tables.
#pragma once

#include "color/ToneCurve.h"

#include <array>
#include <cstdint>

class ToneLut {
public:
    ToneLut();

    // Peak 1 at luma `position`, 0.2 half a `range` away, 0 from one range away on (luma
    // 0..1; the pipeline passes "Position" / 100 and "Range" / 50). Repeating the last values
    // marks nothing dirty.
    void setBump(double position, double range);

    // 256 entries, entry i the weight of luma i / 255 scaled by 255 and truncated.
    const uint8_t* table8();
    // 65536 entries, entry i the weight of luma i / 65535 scaled by 65535 and truncated.
    const uint16_t* table16();

    bool dirty8() const { return dirty8_; }
    bool dirty16() const { return dirty16_; }
    double cachedPosition() const { return cachedPosition_; }
    double cachedRange() const { return cachedRange_; }
    const ToneCurve& curve() const { return curve_; }
    // How many times each table was rebuilt since construction.
    uint64_t builds8() const { return builds8_; }
    uint64_t builds16() const { return builds16_; }

private:
    void rebuild8();
    void rebuild16();

    // -1 so that the first setBump always takes effect.
    double cachedPosition_ = -1.0;
    double cachedRange_ = -1.0;
    bool dirty8_ = true;
    bool dirty16_ = true;
    std::array<uint8_t, 256> lut8_;     // identity until first built
    std::array<uint16_t, 65536> lut16_; // identity until first built
    ToneCurve curve_;                   // no points: passes its input through
    uint64_t builds8_ = 0;
    uint64_t builds16_ = 0;
};
