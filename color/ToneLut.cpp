#include "color/ToneLut.h"

namespace {

// The curve clamps to 0..1, so this only guards a NaN point (which would make the integer
// conversion undefined) and a curve whose clamp was switched off.
template <typename T> T scaledEntry(double weight, double full) {
    const double v = weight * full;
    if (!(v > 0.0))
        return 0;
    if (v >= full)
        return static_cast<T>(full);
    return static_cast<T>(v);
}

} // namespace

ToneLut::ToneLut() {
    for (int32_t i = 0; i < 256; ++i) {
        lut8_[i] = static_cast<uint8_t>(i);
    }
    for (int32_t i = 0; i < 65536; ++i) {
        lut16_[i] = static_cast<uint16_t>(i);
    }
}

void ToneLut::setBump(double position, double range) {
    if (position == cachedPosition_ && range == cachedRange_)
        return;
    cachedPosition_ = position;
    cachedRange_ = range;
    dirty8_ = true;
    dirty16_ = true;
    curve_.setPoints(position - range, 0.0, position - range * 0.5, 0.2, position, 1.0,
                     range * 0.5 + position, 0.2, position + range, 0.0);
}

const uint8_t* ToneLut::table8() {
    if (dirty8_)
        rebuild8();
    return lut8_.data();
}

const uint16_t* ToneLut::table16() {
    if (dirty16_)
        rebuild16();
    return lut16_.data();
}

void ToneLut::rebuild8() {
    dirty8_ = false;
    const bool identity = curve_.isIdentity();
    for (int32_t i = 0; i < 256; ++i) {
        lut8_[i] = identity ? static_cast<uint8_t>(i)
                            : scaledEntry<uint8_t>(curve_.evaluate(i / 255.0), 255.0);
    }
    ++builds8_;
}

void ToneLut::rebuild16() {
    dirty16_ = false;
    const bool identity = curve_.isIdentity();
    for (int32_t i = 0; i < 65536; ++i) {
        lut16_[i] = identity ? static_cast<uint16_t>(i)
                             : scaledEntry<uint16_t>(curve_.evaluate(i / 65535.0), 65535.0);
    }
    ++builds16_;
}
