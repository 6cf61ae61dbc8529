#include "tests/support/RenderFixture.h"

#include "tests/support/CrossRenderScene.h"

#include "effect/Command.h"
#include "effect/SequenceCommands.h"
#include "render/RenderState.h"
#include "tests/support/HostFixture.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace zptest {

Instance makeInstance(bool linkedIn) {
    Instance inst;
    inst.host = std::make_unique<headless::Host>(linkedIn ? headless::Plugin::fromCommand(&command)
                                                          : effectLibrary());
    EXPECT_EQ(inst.host->setupInstance(), PF_Err_NONE);
    inst.host->inData().height = 0; // tests set the layer height when they need it
    return inst;
}

int keptBlocks(headless::Host&) {
    // Kept maps and blends live on the heap (the library's store or the host's compute cache),
    // never in the host's handles.
    return 0;
}

Instance::~Instance() {
    if (host)
        host->teardownInstance();
}

PF_Err Instance::render(headless::HostWorld& in, headless::HostWorld& out, RenderKind kind) {
    if (kind == RenderKind::Plain)
        return protocol().renderPlain(in, out);
    return protocol().renderSmart(in, out, 8 * in.bytesPerChannel());
}

void paintTestImage(headless::HostWorld& w, unsigned seed) {
    for (int y = 0; y < w.height(); ++y) {
        for (int x = 0; x < w.width(); ++x) {
            // Four flat quadrants of different brightness, a soft ramp, a hard diagonal.
            float r = (x < w.width() / 2 ? 0.2f : 0.7f) + 0.002f * static_cast<float>(y % 50);
            float g = (y < w.height() / 2 ? 0.3f : 0.8f) - 0.001f * static_cast<float>(x % 40);
            float b = (x + y < w.width() ? 0.15f : 0.9f);
            float a = 0.5f + 0.5f *
                                 static_cast<float>((x * 7 + y * 3 + static_cast<int>(seed)) % 11) /
                                 10.0f;
            const float v[4] = {a, r, g, b};
            for (int c = 0; c < 4; ++c) {
                switch (w.bytesPerChannel()) {
                case 1:
                    w.pixel<uint8_t>(x, y)[c] = static_cast<uint8_t>(v[c] * 255.0f);
                    break;
                case 2:
                    w.pixel<uint16_t>(x, y)[c] = static_cast<uint16_t>(v[c] * 32768.0f);
                    break;
                default:
                    w.pixel<float>(x, y)[c] = v[c];
                    break;
                }
            }
        }
    }
}

headless::HostMask rectangleMask(const std::string& name, double x0, double y0, double x1,
                                 double y1) {
    return crossrender::rectangle(name, x0, y0, x1, y1);
}

} // namespace zptest
