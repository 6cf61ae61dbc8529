// The program's plain image record and its rectangle convention. No host types: the render
// entry wraps host worlds in it, image code reads and writes pixels only through it.
#pragma once

#include <cstdint>

namespace fx {
class MemoryHandler;
}

// (top, left, bottom, right); bottom and right are exclusive. Host rectangles (PF_LRect) are
// ordered left, top, right, bottom and are reordered when taken over.
struct Rect {
    int32_t top = 0;
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t right = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool empty() const { return left >= right || top >= bottom; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Pixel (x, y) starts at row0 + y * rowStep + x * bytesPerPixel. Four-channel pixels hold
// alpha, red, green, blue in every depth: 8-bit 0..255, 16-bit 0..32768 (32768 is full),
// float with 1.0 as full (values may lie outside 0..1).
struct PixelBuffer {
    uint8_t* data = nullptr; // lowest address of the rows
    uint8_t* row0 = nullptr; // first byte of row 0
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;        // 4 for host worlds, 1 for one-channel rasters
    int32_t bytesPerChannel = 0; // 1, 2 or 4 (float)
    int32_t bytesPerPixel = 0;
    int32_t rowBytes = 0; // distance between rows, never negative
    int32_t rowStep = 0;  // signed distance from one row to the next
    bool ownsData = false;
    Rect bounds;

    uint8_t* row(int32_t y) const { return row0 + static_cast<intptr_t>(y) * rowStep; }
    template <typename T> T* rowAs(int32_t y) const { return reinterpret_cast<T*>(row(y)); }
    uint8_t* pixel(int32_t x, int32_t y) const {
        return row(y) + static_cast<intptr_t>(x) * bytesPerPixel;
    }
};

// Builds a four-channel record over `memory` (not copied). rowBytes 0 means packed rows; a
// negative value means rows stored bottom-up. With no memory, a block of |rowBytes| * height
// bytes comes from `handler` (not cleared) when width and height are at least 1; the buffer
// then owns it. Throws std::bad_alloc when the block cannot be had.
PixelBuffer wrapPixels(void* memory, int32_t rowBytes, int32_t width, int32_t height,
                       int32_t bytesPerChannel, fx::MemoryHandler* handler);

// Returns owned memory to `handler`; a buffer that owns nothing is left alone.
void releasePixels(PixelBuffer& buffer, fx::MemoryHandler* handler);

// A one-channel 8-bit raster with packed rows, zero-filled, its block from `handler`.
PixelBuffer makeRaster8(int32_t width, int32_t height, fx::MemoryHandler& handler);

// Releases an owned buffer when the scope ends.
class ScopedPixels {
public:
    ScopedPixels(PixelBuffer buffer, fx::MemoryHandler* handler)
        : buffer_(buffer), handler_(handler) {}
    ~ScopedPixels() { releasePixels(buffer_, handler_); }
    ScopedPixels(const ScopedPixels&) = delete;
    ScopedPixels& operator=(const ScopedPixels&) = delete;
    PixelBuffer& get() { return buffer_; }

private:
    PixelBuffer buffer_;
    fx::MemoryHandler* handler_;
};
