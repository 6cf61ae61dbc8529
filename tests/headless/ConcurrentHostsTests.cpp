// Hosts on several threads at once, as the command line's jobs and the Python module's
// sessions use them: each thread renders through its own host and must get exactly the pixels
// a lone host gets, while handles, the effect's process-wide state and the kept label maps are
// shared underneath.
#include "headless/Host.h"
#include "render/ParamLayout.h"
#include "tests/support/CrossRenderScene.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

std::shared_ptr<headless::Plugin> effectLibrary() {
    static const auto plugin = headless::Plugin::loadEffectLibrary(ZP_EFFECT_LIBRARY_PATH);
    return plugin;
}

// One instance's renders of the shared scene with group 1's hue at `hue`: each depth twice, the
// second time with the kept label map. Outputs in order, or empty on any error.
std::vector<std::vector<uint8_t>> renderInstance(double hue) {
    headless::Host host(effectLibrary());
    std::vector<std::vector<uint8_t>> outputs;
    if (host.setupInstance() != PF_Err_NONE)
        return {};
    crossrender::applyScene(host);
    host.setSlider(params::adjustSlider(0, params::kHue), hue);
    for (int bitdepth : crossrender::kBitdepths) {
        for (int pass = 0; pass < 2; ++pass) {
            const auto r = crossrender::renderScene(host, bitdepth);
            if (r.err != PF_Err_NONE || !r.canariesIntact)
                return {};
            outputs.push_back(r.output);
        }
    }
    if (host.teardownInstance() != PF_Err_NONE || host.liveHandles() != 0 ||
        host.outstandingCheckouts() != 0)
        return {};
    return outputs;
}

TEST(ConcurrentHosts, ThreadsRenderWhatALoneHostRenders) {
    const std::vector<double> hues = {-90, -20, 0, 35, 120, 180};
    std::vector<std::vector<std::vector<uint8_t>>> alone;
    for (double hue : hues) {
        alone.push_back(renderInstance(hue));
        ASSERT_FALSE(alone.back().empty()) << "hue " << hue;
    }
    // Different settings on every thread: a host that answered another thread's callbacks
    // would hand over the wrong parameters and show in the pixels.
    for (int round = 0; round < 3; ++round) {
        std::vector<std::vector<std::vector<uint8_t>>> together(hues.size());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < hues.size(); ++i)
            threads.emplace_back([&, i] { together[i] = renderInstance(hues[i]); });
        for (auto& t : threads)
            t.join();
        for (size_t i = 0; i < hues.size(); ++i)
            EXPECT_EQ(together[i], alone[i]) << "round " << round << ", hue " << hues[i];
    }
}

TEST(ConcurrentHosts, AnyHostGivesBackAHandleAndItsMakerKeepsTheCount) {
    headless::Host maker(nullptr);
    const PF_Handle h = maker.newHandle(64);
    ASSERT_NE(h, nullptr);
    std::thread([h] {
        headless::Host other(nullptr);
        EXPECT_NE(other.lockHandle(h), nullptr);
        EXPECT_EQ(other.lockedHandles(), 0);
        other.unlockHandle(h);
        other.disposeHandle(h);
        // A handle already given back, or never made, is nobody's.
        other.disposeHandle(h);
        EXPECT_EQ(other.lockHandle(h), nullptr);
    }).join();
    EXPECT_EQ(maker.liveHandles(), 0);
    EXPECT_EQ(maker.lockedHandles(), 0);
    // A host's handles die with it; a later dispose of one is harmless.
    PF_Handle orphan = nullptr;
    {
        headless::Host shortLived(nullptr);
        orphan = shortLived.newHandle(16);
    }
    maker.disposeHandle(orphan);
    EXPECT_EQ(maker.liveHandles(), 0);
}

} // namespace
