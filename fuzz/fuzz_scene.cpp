// Scene files and mask rasterisation: any text goes to the scene reader; a scene it accepts is
// applied, written back and read again (the writer's round trip must reproduce it exactly), and
// every mask is drawn as label strokes into guarded rasters of several shapes.
#include "fuzz/FuzzSupport.h"
#include "headless/Scene.h"
#include "render/Mask.h"
#include "render/Strokes.h"

#include <cstring>
#include <vector>

namespace {

// A raster with guard bytes on both sides of its pixels.
class GuardedRaster {
public:
    GuardedRaster(int32_t width, int32_t height)
        : storage_(static_cast<size_t>(width) * static_cast<size_t>(height) + 2 * kGuard, kFill) {
        buffer.data = buffer.row0 = storage_.data() + kGuard;
        buffer.width = width;
        buffer.height = height;
        buffer.channels = buffer.bytesPerChannel = buffer.bytesPerPixel = 1;
        buffer.rowBytes = buffer.rowStep = width;
        buffer.bounds = Rect{0, 0, height, width};
        std::memset(buffer.data, 0, static_cast<size_t>(width) * static_cast<size_t>(height));
    }
    bool guardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i) {
            if (storage_[i] != kFill || storage_[storage_.size() - 1 - i] != kFill)
                return false;
        }
        return true;
    }
    // True when every pixel is 0 or `label`.
    bool onlyHolds(uint8_t label) const {
        for (size_t i = kGuard; i < storage_.size() - kGuard; ++i) {
            if (storage_[i] != 0 && storage_[i] != label)
                return false;
        }
        return true;
    }
    PixelBuffer buffer;

private:
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kFill = 0xC3;
    std::vector<uint8_t> storage_;
};

// The mask as the effect reads it from the host: a closed outline repeats its first vertex.
void readMask(const headless::HostMask& h, Mask& m) {
    m.name = h.name;
    for (const AEGP_MaskVertex& v : h.vertices)
        m.vertices.push_back(
            MaskVertex{v.x, v.y, v.tan_in_x, v.tan_in_y, v.tan_out_x, v.tan_out_y});
    if (h.closed && !m.vertices.empty())
        m.vertices.push_back(m.vertices.front());
    m.opacity = static_cast<float>(h.opacity);
    m.label = 7;
}

bool sameMasks(const std::vector<headless::HostMask>& a, const std::vector<headless::HostMask>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto &x = a[i], &y = b[i];
        if (x.name != y.name || x.red != y.red || x.green != y.green || x.blue != y.blue ||
            x.alpha != y.alpha || x.mode != y.mode || x.opacity != y.opacity ||
            x.expansion != y.expansion || x.closed != y.closed ||
            x.vertices.size() != y.vertices.size())
            return false;
        // Compared as numbers: the writer keeps every value but not the sign of a zero, which
        // no stage can tell apart.
        for (size_t k = 0; k < x.vertices.size(); ++k) {
            const AEGP_MaskVertex &u = x.vertices[k], &v = y.vertices[k];
            if (u.x != v.x || u.y != v.y || u.tan_in_x != v.tan_in_x || u.tan_in_y != v.tan_in_y ||
                u.tan_out_x != v.tan_out_x || u.tan_out_y != v.tan_out_y)
                return false;
        }
    }
    return true;
}

struct Shape {
    int32_t width, height;
    double scaleX, scaleY;
    int32_t originX, originY;
};
const Shape kShapes[] = {{64, 48, 1.0, 1.0, 0, 0},
                         {33, 17, 0.5, 0.25, -7, 5},
                         {1, 1, 1.0, 1.0, 3, 3},
                         {5, 90, 2.0, 1.0, 0, -40}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<headless::Host> host = fuzz::newInstance();
    const std::string text(reinterpret_cast<const char*>(data), size);
    headless::Scene scene;
    try {
        scene = headless::parseScene(text, "fuzz", *host);
    } catch (const headless::SceneError&) {
        return 0; // refused as a whole: nothing to check beyond not crashing
    }
    headless::applyScene(scene, *host);
    const auto masks = host->extension<headless::LayerMasks>().masks;

    // What the writer makes of an accepted scene reads back to the same state.
    const std::string written = headless::sceneToJson(*host);
    headless::Scene again;
    try {
        again = headless::parseScene(written, "written", *host);
    } catch (const headless::SceneError& e) {
        fuzz::check(false,
                    std::string("the writer's scene is refused: ") + e.what() + "\n" + written);
    }
    headless::applyScene(again, *host);
    fuzz::check(sameMasks(masks, host->extension<headless::LayerMasks>().masks),
                "the written scene gives other masks\n" + written);
    fuzz::check(headless::sceneToJson(*host) == written, "writing twice differs\n" + written);

    for (const Shape& s : kShapes) {
        GuardedRaster raster(s.width, s.height);
        for (const headless::HostMask& hm : masks) {
            Mask m;
            readMask(hm, m);
            drawMaskOutline(raster.buffer, m, s.scaleX, s.scaleY, s.originX, s.originY);
        }
        fuzz::check(raster.guardsIntact(), "a stroke was drawn outside the raster");
        fuzz::check(raster.onlyHolds(7), "a stroke wrote something other than its label");
    }
    return 0;
}
