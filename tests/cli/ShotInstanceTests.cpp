// A shot's frames rendered through its one instance, the way the host renders a thread-safe
// effect: several render threads at once, frames in any order, kept results shared. Every frame
// must equal the frame an instance of its own renders.
#include "cli/ShotInstance.h"
#include "tests/cli/CliTestSupport.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace {

constexpr int kFrames = 12;
constexpr int kHeldFirst = 4, kHeldLast = 8; // a held plate: one picture, one scene

int heldFrame(int f) {
    return f >= kHeldFirst && f <= kHeldLast ? kHeldFirst : f;
}

// A box that moves a pixel a frame, with a correction on it and the glow, whose blur carries a
// mode from frame to frame in the effect's sequence.
std::string sceneOf(int f) {
    const double x = 8 + heldFrame(f);
    std::ostringstream s;
    s << R"({"masks": [{"name": "Box", "closed": true, "vertices": [)"
      << "{\"x\": " << x << ", \"y\": 8}, {\"x\": " << x + 30 << ", \"y\": 8}, {\"x\": " << x + 30
      << ", \"y\": 36}, {\"x\": " << x << ", \"y\": 36}]}], "
      << R"("params": {"Adjust 1": {"Mask": "Box", "Brightness": 10, "Saturation": 30, )"
      << R"("Effects": 60}, "Diffusion/Glow": {"Amount": 40, "Blur": 6}}})";
    return s.str();
}

TEST(ShotInstance, FramesRenderedSideBySideInAnyOrderEqualTheirOwnInstancesRenders) {
    clitest::ScratchDir dir;
    for (int f = 0; f < kFrames; ++f)
        clitest::writeText(dir.file("s" + std::to_string(f) + ".json"), sceneOf(f));
    const auto request = [&](int f) {
        zpcli::FrameRequest r;
        r.scenePath = dir.file("s" + std::to_string(f) + ".json");
        return r;
    };

    // Bytes per channel, and 0 for a shot whose frames alternate between 8 and 32 bits.
    for (const int depth : {1, 2, 4, 0}) {
        SCOPED_TRACE(depth);
        const auto bpcOf = [depth](int f) { return depth != 0 ? depth : f % 2 == 0 ? 1 : 4; };
        std::vector<std::unique_ptr<headless::HostWorld>> inputs;
        std::vector<std::vector<uint8_t>> expected;
        for (int f = 0; f < kFrames; ++f) {
            inputs.push_back(std::make_unique<headless::HostWorld>(64, 48, bpcOf(f)));
            zptest::paintTestImage(*inputs.back(), static_cast<unsigned>(heldFrame(f)));
            expected.push_back(
                zpcli::renderFrame(*inputs.back(), request(f)).output->packedPixels());
        }

        for (const int threads : {1, 2, 4}) {
            SCOPED_TRACE(threads);
            std::vector<int> order(kFrames);
            for (int f = 0; f < kFrames; ++f)
                order[static_cast<size_t>(f)] = f;
            std::shuffle(order.begin(), order.end(), std::mt19937(unsigned(depth * 10 + threads)));

            zpcli::ShotInstance shot(""); // every frame names its own scene
            std::vector<std::vector<uint8_t>> got(kFrames);
            std::vector<int> propagated(kFrames, 0);
            std::atomic<size_t> next{0};
            std::vector<std::thread> pool;
            for (int t = 0; t < threads; ++t) {
                pool.emplace_back([&] {
                    for (size_t i = next++; i < order.size(); i = next++) {
                        const int f = order[i];
                        const zpcli::Frame frame =
                            shot.render(*inputs[static_cast<size_t>(f)], request(f), f);
                        got[static_cast<size_t>(f)] = frame.output->packedPixels();
                        propagated[static_cast<size_t>(f)] = !frame.capture->reused.at(0);
                    }
                });
            }
            for (std::thread& t : pool)
                t.join();
            for (int f = 0; f < kFrames; ++f)
                EXPECT_EQ(got[static_cast<size_t>(f)], expected[static_cast<size_t>(f)])
                    << "frame " << f;
            if (depth != 0) {
                EXPECT_EQ(std::count(propagated.begin() + kHeldFirst,
                                     propagated.begin() + kHeldLast + 1, 1),
                          1)
                    << "the held plate propagates once, whichever threads render it";
            }
        }
    }
}

} // namespace
