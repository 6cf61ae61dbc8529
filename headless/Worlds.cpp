#include "headless/Worlds.h"

#include "headless/HostTables.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace headless {

HostWorld::HostWorld(int width, int height, int bytesPerChannel, int rowBytes, int canary)
    : bpc_(bytesPerChannel), canary_(canary) {
    std::memset(&world, 0, sizeof world);
    const int packed = width * 4 * bytesPerChannel;
    absRowBytes_ = rowBytes == 0 ? packed : std::abs(rowBytes);
    if (absRowBytes_ < packed)
        throw std::invalid_argument("row bytes shorter than a row");
    const size_t bytes = static_cast<size_t>(absRowBytes_) * static_cast<size_t>(height);
    storage_.assign(bytes + 2 * static_cast<size_t>(canary_), kGuard);
    base_ = storage_.data() + canary_;
    std::memset(base_, kPad, bytes);
    world.width = width;
    world.height = height;
    world.rowbytes = rowBytes == 0 ? packed : rowBytes;
    world.world_flags = bytesPerChannel == 2 ? PF_WorldFlag_DEEP : 0;
    world.extent_hint = PF_Rect{0, 0, width, height};
    // The data pointer is the lowest address of the rows; with a negative row step row 0 is
    // the last row in memory.
    world.data = reinterpret_cast<PF_PixelPtr>(base_);
}

uint8_t* HostWorld::row(int y) {
    const intptr_t first = world.rowbytes < 0 ? intptr_t{height() - 1} * absRowBytes_ : 0;
    return base_ + first + static_cast<intptr_t>(y) * world.rowbytes;
}
const uint8_t* HostWorld::row(int y) const {
    return const_cast<HostWorld*>(this)->row(y);
}

void HostWorld::fillBytes(uint8_t v) {
    const size_t packed = static_cast<size_t>(width()) * static_cast<size_t>(bytesPerPixel());
    for (int y = 0; y < height(); ++y) {
        std::memset(row(y), v, packed);
        std::memset(row(y) + packed, kPad, static_cast<size_t>(absRowBytes_) - packed);
    }
}

bool HostWorld::canariesIntact() const {
    for (int i = 0; i < canary_; ++i) {
        if (storage_[static_cast<size_t>(i)] != kGuard)
            return false;
        if (storage_[storage_.size() - 1 - static_cast<size_t>(i)] != kGuard)
            return false;
    }
    const size_t packed = static_cast<size_t>(width()) * static_cast<size_t>(bytesPerPixel());
    for (int y = 0; y < height(); ++y) {
        const uint8_t* r = row(y);
        for (size_t i = packed; i < static_cast<size_t>(absRowBytes_); ++i) {
            if (r[i] != kPad)
                return false;
        }
    }
    return true;
}

std::vector<uint8_t> HostWorld::packedPixels() const {
    const size_t packed = static_cast<size_t>(width()) * static_cast<size_t>(bytesPerPixel());
    std::vector<uint8_t> out(packed * static_cast<size_t>(height()));
    for (int y = 0; y < height(); ++y)
        std::memcpy(&out[packed * static_cast<size_t>(y)], row(y), packed);
    return out;
}

void HostWorld::setPackedPixels(const std::vector<uint8_t>& packedData) {
    const size_t packed = static_cast<size_t>(width()) * static_cast<size_t>(bytesPerPixel());
    if (packedData.size() != packed * static_cast<size_t>(height()))
        throw std::invalid_argument("pixel data of the wrong size");
    for (int y = 0; y < height(); ++y)
        std::memcpy(row(y), &packedData[packed * static_cast<size_t>(y)], packed);
}

namespace {

RenderProtocol& protocol() {
    return Host::current()->extension<RenderProtocol>();
}

PF_Err checkoutLayer(PF_ProgPtr, PF_ParamIndex index, A_long, const PF_RenderRequest* req, A_long,
                     A_long, A_u_long, PF_CheckoutResult* result) {
    RenderProtocol& p = protocol();
    if (Host::current()->faults.shouldFail("checkout_layer"))
        return PF_Err_OUT_OF_MEMORY;
    if (index != 0 || req == nullptr || result == nullptr || p.input == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    p.lastRequest = *req;
    std::memset(result, 0, sizeof *result);
    // The layer is as large as the input world; the host can give the requested part of it.
    const PF_LRect layer{0, 0, p.input->width(), p.input->height()};
    result->max_result_rect = layer;
    PF_LRect r = req->rect;
    r.left = std::max(r.left, layer.left);
    r.top = std::max(r.top, layer.top);
    r.right = std::min(r.right, layer.right);
    r.bottom = std::min(r.bottom, layer.bottom);
    result->result_rect = r;
    return PF_Err_NONE;
}

PF_Err checkoutLayerPixels(PF_ProgPtr, A_long id, PF_EffectWorld** pixels) {
    RenderProtocol& p = protocol();
    if (pixels == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *pixels = nullptr;
    if (Host::current()->faults.shouldFail("checkout_layer_pixels"))
        return PF_Err_OUT_OF_MEMORY;
    if (id != 0 || p.withholdInput || p.input == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *pixels = &p.input->world;
    ++p.inputCheckouts;
    return PF_Err_NONE;
}

PF_Err checkoutOutput(PF_ProgPtr, PF_EffectWorld** out) {
    RenderProtocol& p = protocol();
    if (out == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *out = nullptr;
    if (Host::current()->faults.shouldFail("checkout_output"))
        return PF_Err_OUT_OF_MEMORY;
    if (p.withholdOutput || p.output == nullptr)
        return PF_Err_OUT_OF_MEMORY;
    *out = &p.output->world;
    return PF_Err_NONE;
}

PF_PreRenderCallbacks makePreRenderCallbacks() {
    auto t = trappedTable<kPreRenderCallbacks, PF_PreRenderCallbacks>();
    ZP_SERVE(kPreRenderCallbacks, t, checkout_layer, checkoutLayer);
    return t;
}

// The effect leaves its input checked out: the host takes it back when the command is over.
PF_SmartRenderCallbacks makeSmartRenderCallbacks() {
    auto t = trappedTable<kSmartRenderCallbacks, PF_SmartRenderCallbacks>();
    ZP_SERVE(kSmartRenderCallbacks, t, checkout_layer_pixels, checkoutLayerPixels);
    ZP_SERVE(kSmartRenderCallbacks, t, checkout_output, checkoutOutput);
    return t;
}

PF_PreRenderCallbacks g_preRenderCallbacks = makePreRenderCallbacks();
PF_SmartRenderCallbacks g_smartCallbacks = makeSmartRenderCallbacks();

} // namespace

PF_Err RenderProtocol::renderPlain(HostWorld& in, HostWorld& out) {
    host_.makeCurrent();
    input = &in;
    output = &out;
    PF_ParamDef& layer = host_.param(0);
    layer.u.ld = in.world;
    host_.inData().extent_hint =
        useExtentHint ? extentHint : PF_Rect{0, 0, out.width(), out.height()};
    const PF_Err err = host_.send(PF_Cmd_RENDER, nullptr, &out.world);
    input = output = nullptr;
    return err;
}

PF_Err RenderProtocol::renderSmart(HostWorld& in, HostWorld& out, int bitdepth) {
    host_.makeCurrent();
    input = &in;
    output = &out;
    PF_PreRenderInput preIn{};
    preIn.output_request.rect = PF_LRect{0, 0, out.width(), out.height()};
    preIn.output_request.channel_mask = 0xF;
    preIn.bitdepth = static_cast<A_short>(bitdepth);
    std::memset(&preRenderResult, 0, sizeof preRenderResult);
    PF_PreRenderExtra pre{&preIn, &preRenderResult, &g_preRenderCallbacks};
    PF_Err err = host_.send(PF_Cmd_SMART_PRE_RENDER, &pre);
    if (err == PF_Err_NONE) {
        PF_SmartRenderInput smartIn{};
        smartIn.output_request = preIn.output_request;
        smartIn.bitdepth = static_cast<A_short>(bitdepth);
        PF_SmartRenderExtra smart{&smartIn, &g_smartCallbacks};
        err = host_.send(PF_Cmd_SMART_RENDER, &smart);
    }
    // The host checks in what the effect checked out once the command is over.
    inputCheckouts = 0;
    input = output = nullptr;
    return err;
}

} // namespace headless
