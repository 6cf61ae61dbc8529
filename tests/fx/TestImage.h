// Images over test-owned memory for the filter tests: any depth, one or four channels, rows
// stored top-down or bottom-up, filled with reproducible random values.
#pragma once

#include "image/PixelBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace fxtest {

struct TestImage {
    std::vector<uint8_t> memory;
    PixelBuffer buffer;

    TestImage(int32_t width, int32_t height, int32_t bytesPerChannel, int32_t channels = 4,
              bool bottomUp = false, int32_t padBytes = 0) {
        const int32_t rowBytes = width * channels * bytesPerChannel + padBytes;
        memory.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(height) + 1, 0);
        buffer = wrapPixels(memory.data(), bottomUp ? -rowBytes : rowBytes, width, height,
                            bytesPerChannel, nullptr);
        buffer.channels = channels;
        buffer.bytesPerPixel = channels * bytesPerChannel;
    }

    template <typename T> T& at(int32_t x, int32_t y, int32_t c) const {
        return reinterpret_cast<T*>(buffer.pixel(x, y))[c];
    }

    // 8/16-bit channels over their full range (16-bit up to 32768), float channels over
    // [lo, hi).
    void randomize(uint32_t seed, float lo = 0.0f, float hi = 1.0f) {
        std::mt19937 rng(seed);
        for (int32_t y = 0; y < buffer.height; ++y) {
            for (int32_t x = 0; x < buffer.width; ++x) {
                for (int32_t c = 0; c < buffer.channels; ++c) {
                    switch (buffer.bytesPerChannel) {
                    case 1:
                        at<uint8_t>(x, y, c) = static_cast<uint8_t>(rng() % 256);
                        break;
                    case 2:
                        at<uint16_t>(x, y, c) = static_cast<uint16_t>(rng() % 32769);
                        break;
                    default:
                        at<float>(x, y, c) = std::uniform_real_distribution<float>(lo, hi)(rng);
                        break;
                    }
                }
            }
        }
    }

    // Every channel of every pixel set to the same bytes (8/16-bit) or value (float).
    void fill(double value) {
        for (int32_t y = 0; y < buffer.height; ++y) {
            for (int32_t x = 0; x < buffer.width; ++x) {
                for (int32_t c = 0; c < buffer.channels; ++c) {
                    switch (buffer.bytesPerChannel) {
                    case 1:
                        at<uint8_t>(x, y, c) = static_cast<uint8_t>(value);
                        break;
                    case 2:
                        at<uint16_t>(x, y, c) = static_cast<uint16_t>(value);
                        break;
                    default:
                        at<float>(x, y, c) = static_cast<float>(value);
                        break;
                    }
                }
            }
        }
    }

    bool sameBytes(const TestImage& other) const {
        return memory.size() == other.memory.size() &&
               std::memcmp(memory.data(), other.memory.data(), memory.size()) == 0;
    }

    // A second image over its own copy of the memory, same layout.
    TestImage(const TestImage& other) : memory(other.memory), buffer(other.buffer) {
        const ptrdiff_t shift = other.buffer.row0 - other.buffer.data;
        buffer.data = memory.data();
        buffer.row0 = memory.data() + shift;
    }
    TestImage& operator=(const TestImage&) = delete;
};

} // namespace fxtest
