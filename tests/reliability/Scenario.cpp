#include "tests/reliability/Scenario.h"

#include "effect/Command.h"
#include "effect/MemoryManager.h"
#include "render/ParamLayout.h"
#include "tests/support/RenderFixture.h"

#include <cstring>
#include <sstream>

namespace reliability {

std::unique_ptr<headless::Host> linkedHost() {
    return std::make_unique<headless::Host>(headless::Plugin::fromCommand(&command));
}

headless::HostMask openStroke(const std::string& name, double x0, double y0, double x1, double y1,
                              double x2, double y2) {
    headless::HostMask m;
    m.name = name;
    m.closed = false;
    m.red = 0.1;
    m.green = 0.8;
    m.blue = 0.3;
    for (auto [x, y] : {std::pair{x0, y0}, {x1, y1}, {x2, y2}}) {
        AEGP_MaskVertex v{};
        v.x = x;
        v.y = y;
        m.vertices.push_back(v);
    }
    // A curved middle piece: the flattening path as well as the straight one.
    m.vertices[1].tan_out_x = 3;
    m.vertices[1].tan_out_y = -4;
    return m;
}

void armEveryStage(headless::Host& host, int glowBlend) {
    auto& masks = host.extension<headless::LayerMasks>().masks;
    masks = {zptest::rectangleMask("Face", 2, 2, 10, 9), openStroke("Sky", 13, 2, 18, 6, 22, 3),
             openStroke("Sky edge", 14, 12, 20, 13, 23, 15),
             zptest::rectangleMask("Unused", 3, 11, 8, 14)};
    masks[2].red = 0.5; // linked to "Sky" by name only
    host.setPath(params::adjustMask(0), 1);
    host.setSlider(params::adjustSlider(0, params::kBrightness), 30);
    host.setSlider(params::adjustSlider(0, params::kHue), 40);
    host.setSlider(params::adjustSlider(0, params::kEffects), 100);
    host.setPath(params::adjustMask(1), 2);
    host.setSlider(params::adjustSlider(1, params::kSaturation), -60);
    host.setSlider(params::adjustSlider(1, params::kGamma), 20);
    host.setSlider(params::adjustSlider(1, params::kEffects), 60);
    host.setPath(params::colorizeMask(3), 4);
    host.setColor(params::colorizeColor(3), PF_Pixel{255, 200, 40, 90});
    host.setSlider(params::colorizeOpacity(3), 70);
    host.setSlider(params::kBlurAmount, 20);
    host.setSlider(params::kFillBrightness, 120);
    host.setSlider(params::kFillPosition, 30);
    host.setSlider(params::kGlowAmount, 150);
    host.setSlider(params::kGlowBlur, 40);
    host.setColor(params::kGlowColor, PF_Pixel{255, 255, 220, 180});
    host.setPopup(params::kGlowBlend, glowBlend);
    host.setPopup(params::kLinkMasks, params::kLinkMaskName);
    host.inData().height = kHeight;
}

std::string Holdings::describe() const {
    std::ostringstream s;
    s << "handles " << handles << ", locked " << lockedHandles << ", suites " << suites
      << ", parameter checkouts " << checkouts << ", mask objects " << maskObjects
      << ", render states " << renderStates << ", memory handler "
      << (memoryHandler ? "alive" : "gone");
    return s.str();
}

Holdings holdings(headless::Host& host) {
    Holdings h;
    h.handles = host.liveHandles();
    h.lockedHandles = host.lockedHandles();
    h.suites = host.outstandingSuites();
    h.checkouts = host.outstandingCheckouts();
    h.maskObjects = host.extension<headless::LayerMasks>().outstanding();
    h.renderStates = effect_globals::instanceCount();
    h.memoryHandler = effect_globals::memoryHandler() != nullptr;
    h.keptBlocks = zptest::keptBlocks(host);
    return h;
}

std::vector<uint8_t> alphaBytes(const headless::HostWorld& world) {
    std::vector<uint8_t> out;
    const auto packed = world.packedPixels();
    const size_t bpc = static_cast<size_t>(world.bytesPerChannel());
    for (size_t i = 0; i < packed.size(); i += 4 * bpc)
        out.insert(out.end(), packed.begin() + static_cast<std::ptrdiff_t>(i),
                   packed.begin() + static_cast<std::ptrdiff_t>(i + bpc));
    return out;
}

void paint(headless::HostWorld& world, unsigned seed) {
    // Painted packed and copied in bytewise: the world's rows need not sit on channel
    // boundaries.
    headless::HostWorld packed(world.width(), world.height(), world.bytesPerChannel());
    zptest::paintTestImage(packed, seed);
    world.setPackedPixels(packed.packedPixels());
}

} // namespace reliability
