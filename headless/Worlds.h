// Pixel worlds in the host's layout (alpha, red, green, blue; 8-bit, 16-bit with 32768 as
// full, or float), with any row bytes (packed, padded, odd, negative), optionally surrounded
// by canary bytes, and the render protocol that hands them to the effect: the plain render
// command and the smart pre-render / smart render pair.
#pragma once

#include "headless/Host.h"

#include <cstdint>
#include <vector>

namespace headless {

class HostWorld {
public:
    // rowBytes 0 means packed rows; a negative value stores the rows bottom-up with that
    // distance; |rowBytes| must hold a row. `canary` guard bytes surround the pixel memory.
    HostWorld(int width, int height, int bytesPerChannel, int rowBytes = 0, int canary = 64);
    HostWorld(const HostWorld&) = delete;
    HostWorld& operator=(const HostWorld&) = delete;

    PF_EffectWorld world;
    int width() const { return world.width; }
    int height() const { return world.height; }
    int bytesPerChannel() const { return bpc_; }
    int bytesPerPixel() const { return 4 * bpc_; }
    // First byte of row y (whatever the row order in memory).
    uint8_t* row(int y);
    const uint8_t* row(int y) const;
    template <typename T> T* pixel(int x, int y) {
        return reinterpret_cast<T*>(row(y) + static_cast<intptr_t>(x) * bytesPerPixel());
    }
    // Fills every byte the world owns, padding included, with `v`.
    void fillBytes(uint8_t v);
    // True when the guard bytes around the memory and the padding at the end of each row
    // are untouched since construction or the last fillBytes.
    bool canariesIntact() const;
    // Pixel bytes only (no padding), row by row from row 0: for comparisons.
    std::vector<uint8_t> packedPixels() const;
    void setPackedPixels(const std::vector<uint8_t>& packed);

private:
    int bpc_;
    int canary_;
    int absRowBytes_;
    std::vector<uint8_t> storage_;
    uint8_t* base_ = nullptr; // lowest address of the rows
    static constexpr uint8_t kGuard = 0xC5;
    static constexpr uint8_t kPad = 0x3B;
};

// Render protocol state of a host; reachable as host.extension<RenderProtocol>().
class RenderProtocol : public Host::Extension {
public:
    explicit RenderProtocol(Host& host) : host_(host) {}

    // Plain render: the input as parameter 0, extent_hint the whole output unless set.
    PF_Err renderPlain(HostWorld& input, HostWorld& output);
    // Smart pre-render then smart render at `bitdepth` (8, 16 or 32 bits per channel).
    // Returns the first error; the pre-render's result rectangles land in preRenderResult.
    PF_Err renderSmart(HostWorld& input, HostWorld& output, int bitdepth);

    // Set to override the extent hint of the plain render (left, top, right, bottom).
    bool useExtentHint = false;
    PF_Rect extentHint{};
    // Smart render: what checkout_layer reports and what the effect asked for.
    PF_PreRenderOutput preRenderResult{};
    PF_RenderRequest lastRequest{};
    // Make the input or output checkout give no world.
    bool withholdInput = false;
    bool withholdOutput = false;
    int inputCheckouts = 0; // outstanding layer checkouts of the current render
    int64_t pipelineCalls = 0;

    // Callback services.
    HostWorld* input = nullptr;
    HostWorld* output = nullptr;

private:
    Host& host_;
};

} // namespace headless
