#include "image/PixelBuffer.h"

#include "image/MemoryHandler.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

PixelBuffer wrapPixels(void* memory, int32_t rowBytes, int32_t width, int32_t height,
                       int32_t bytesPerChannel, fx::MemoryHandler* handler) {
    PixelBuffer b;
    b.width = width;
    b.height = height;
    b.channels = 4;
    b.bytesPerChannel = bytesPerChannel;
    b.bytesPerPixel = 4 * bytesPerChannel;
    b.bounds = Rect{0, 0, height, width};
    if (rowBytes != 0) {
        b.rowBytes = rowBytes < 0 ? -rowBytes : rowBytes;
        b.rowStep = rowBytes;
    } else {
        b.rowBytes = b.rowStep = width * b.bytesPerPixel;
    }
    if (memory != nullptr) {
        b.data = static_cast<uint8_t*>(memory);
        b.ownsData = false;
    } else {
        b.ownsData = true;
        if (width >= 1 && height >= 1) {
            // The block size is a 32-bit quantity on the host side; refuse rather than wrap.
            const int64_t size = static_cast<int64_t>(b.rowBytes) * height;
            if (handler == nullptr || size > std::numeric_limits<int32_t>::max() - 8)
                throw std::bad_alloc();
            b.data = static_cast<uint8_t*>(handler->allocate(static_cast<int32_t>(size)));
        }
    }
    b.row0 = (b.rowStep >= 0 || b.data == nullptr)
                 ? b.data
                 : b.data + static_cast<intptr_t>(height - 1) * b.rowBytes;
    return b;
}

void releasePixels(PixelBuffer& buffer, fx::MemoryHandler* handler) {
    if (buffer.ownsData && buffer.data != nullptr && handler != nullptr) {
        handler->release(buffer.data);
    }
    buffer.data = buffer.row0 = nullptr;
    buffer.ownsData = false;
}

PixelBuffer makeRaster8(int32_t width, int32_t height, fx::MemoryHandler& handler) {
    PixelBuffer b;
    b.width = width;
    b.height = height;
    b.channels = 1;
    b.bytesPerChannel = 1;
    b.bytesPerPixel = 1;
    b.rowBytes = b.rowStep = width;
    b.bounds = Rect{0, 0, height, width};
    b.ownsData = true;
    if (width > 0 && height > 0) {
        const int64_t size = static_cast<int64_t>(width) * height;
        if (size > std::numeric_limits<int32_t>::max() - 8)
            throw std::bad_alloc();
        b.data = static_cast<uint8_t*>(handler.allocate(static_cast<int32_t>(size)));
        std::memset(b.data, 0, static_cast<size_t>(size));
    }
    b.row0 = b.data;
    return b;
}
