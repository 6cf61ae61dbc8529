// Interleaved samples as image files hold them (8-bit, 16-bit with 65535 as full, float) to and
// from host worlds (alpha first; 16-bit with 32768 as full). The file reader and writer and the
// Python module convert through these, so a picture handed over as an array gives the same
// world, and the same samples back, as the same picture handed over as a file.
//
// Matching depths go across exactly (16-bit by the host mapping below); other pairs through
// fractions of full, rounded to nearest, floats clamped to 0..1 for the integer depths and NaN
// read as 0.
#pragma once

#include "headless/Worlds.h"

#include <cstdint>

namespace zpcli {

// 16-bit files hold 0..65535, the host 0..32768 (32768 is full). Both directions round to
// nearest, which makes the file value of every host value read back as that host value:
// fileToHost16(hostToFile16(h)) == h for h in 0..32768. Host values above 32768, which the host
// never makes, write as 65535.
constexpr uint16_t hostToFile16(uint16_t h) {
    if (h >= 32768)
        return 65535;
    return static_cast<uint16_t>((uint32_t{h} * 65535u + 16384u) / 32768u);
}
constexpr uint16_t fileToHost16(uint16_t f) {
    return static_cast<uint16_t>((uint32_t{f} * 32768u + 32767u) / 65535u);
}

// Fills `world` from packed rows of `channels` (1 grey, 2 grey + alpha, 3 RGB, 4 RGBA) samples
// of type S (uint8_t, uint16_t or float) per pixel, the world's size. Grey becomes equal red,
// green and blue; without alpha the world gets full alpha.
template <typename S>
void samplesToWorld(const S* samples, int channels, headless::HostWorld& world);

// Writes the world's pixels as packed rows of `channels` (3 RGB or 4 RGBA) samples of type U
// (uint8_t, uint16_t or float); `samples` holds width x height x channels values.
template <typename U>
void worldToSamples(const headless::HostWorld& world, int channels, U* samples);

} // namespace zpcli
