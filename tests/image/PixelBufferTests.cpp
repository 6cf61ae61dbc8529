#include "image/PixelBuffer.h"
#include "tests/support/CountingMemoryHandler.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PixelBuffer, WrapsAHostWorldWithoutCopying) {
    std::vector<uint8_t> mem(2560 * 480);
    PixelBuffer b = wrapPixels(mem.data(), 2560, 640, 480, 1, nullptr);
    EXPECT_EQ(b.bytesPerChannel, 1);
    EXPECT_EQ(b.bytesPerPixel, 4);
    EXPECT_EQ(b.channels, 4);
    EXPECT_EQ(b.rowBytes, 2560);
    EXPECT_EQ(b.rowStep, 2560);
    EXPECT_EQ(b.row0, mem.data());
    EXPECT_EQ(b.data, mem.data());
    EXPECT_FALSE(b.ownsData);
    EXPECT_EQ(b.bounds, (Rect{0, 0, 480, 640}));
    EXPECT_EQ(b.pixel(3, 2), mem.data() + 2 * 2560 + 12);
}

TEST(PixelBuffer, RowBytesZeroMeansPackedRows) {
    std::vector<uint8_t> mem(16 * 10 * 5);
    PixelBuffer b = wrapPixels(mem.data(), 0, 10, 5, 4, nullptr);
    EXPECT_EQ(b.bytesPerPixel, 16);
    EXPECT_EQ(b.rowBytes, 160);
    EXPECT_EQ(b.rowStep, 160);
}

TEST(PixelBuffer, NegativeRowBytesAddressBottomUpMemory) {
    std::vector<uint8_t> mem(2560 * 480);
    PixelBuffer b = wrapPixels(mem.data(), -2560, 640, 480, 1, nullptr);
    EXPECT_EQ(b.rowBytes, 2560);
    EXPECT_EQ(b.rowStep, -2560);
    EXPECT_EQ(b.row0, mem.data() + 479 * 2560);
    EXPECT_EQ(b.row(479), mem.data());
}

TEST(PixelBuffer, OwnedBlocksComeFromAndReturnToTheHandler) {
    zptest::CountingMemoryHandler mh;
    PixelBuffer b = wrapPixels(nullptr, 0, 8, 4, 2, &mh);
    EXPECT_TRUE(b.ownsData);
    EXPECT_NE(b.data, nullptr);
    EXPECT_EQ(mh.live(), 1);
    releasePixels(b, &mh);
    EXPECT_EQ(mh.live(), 0);

    PixelBuffer empty = wrapPixels(nullptr, 0, 0, 4, 1, &mh);
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(mh.allocations(), 1) << "no block for an empty buffer";
    releasePixels(empty, &mh);
    EXPECT_EQ(mh.live(), 0);

    EXPECT_THROW(wrapPixels(nullptr, 0, 30000, 30000, 4, &mh), std::bad_alloc)
        << "a block whose size does not fit 32 bits is refused, not wrapped";
}

} // namespace
