// A four-channel image of one channel type over test-owned memory, for pixel-pass tests.
#pragma once

#include "image/PixelBuffer.h"
#include "image/PixelTraits.h"

#include <cstdint>
#include <vector>

namespace zptest {

// bottomUp stores the rows in reverse order (negative row bytes), as some hosts do.
template <typename T> struct Image {
    std::vector<T> memory;
    PixelBuffer buf;

    Image(int32_t w, int32_t h, bool bottomUp = false)
        : memory(static_cast<size_t>(w) * h * 4, T(0)) {
        const int32_t rowBytes = w * 4 * static_cast<int32_t>(sizeof(T));
        buf = wrapPixels(memory.data(), bottomUp ? -rowBytes : rowBytes, w, h, sizeof(T), nullptr);
    }
    T* at(int32_t x, int32_t y) { return buf.rowAs<T>(y) + 4 * x; }
    void set(int32_t x, int32_t y, T a, T r, T g, T b) {
        T* p = at(x, y);
        p[0] = a;
        p[1] = r;
        p[2] = g;
        p[3] = b;
    }
    void fill(T a, T r, T g, T b) {
        for (int32_t y = 0; y < buf.height; ++y)
            for (int32_t x = 0; x < buf.width; ++x)
                set(x, y, a, r, g, b);
    }
};

// Pseudo-random channel values covering each depth's whole range (float: -0.25..1.5).
template <typename T> void scramble(std::vector<T>& memory, uint32_t seed) {
    for (T& v : memory) {
        seed = seed * 1664525u + 1013904223u;
        const uint32_t bits = seed >> 8;
        if constexpr (fx::PixelTraits<T>::isFloat) {
            v = -0.25f + 1.75f * static_cast<float>(bits) / static_cast<float>(1u << 24);
        } else {
            v = static_cast<T>(bits % (fx::PixelTraits<T>::fullInt + 1));
        }
    }
}

} // namespace zptest
