// Hosts on several threads at once, as the command line's jobs and the Python module's
// sessions use them: each thread renders through its own host and must get exactly the pixels
// a lone host gets, while handles, the effect's process-wide state and the kept label maps are
// shared underneath.
#include "headless/Host.h"
#include "render/ParamLayout.h"
#include "tests/support/CrossRenderScene.h"

#include <gtest/gtest-spi.h>
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

// The effect's memory handler is process-wide: it takes the handle suite with the first live
// sequence and gives it back with the last, whichever host each came through. The release must
// reach the host the suite came from, also once that host is gone, and one that nobody holds
// must be refused and reported.
TEST(ConcurrentHosts, ASuiteGoesBackToTheHostItCameFromWhicheverHostGivesItBack) {
    constexpr const char* kHandleSuite = "PF Handle Suite";
    headless::Host second(effectLibrary());
    {
        headless::Host first(effectLibrary());
        ASSERT_EQ(first.setupInstance(), PF_Err_NONE);
        ASSERT_EQ(second.setupInstance(), PF_Err_NONE);
        EXPECT_EQ(first.outstandingSuite(kHandleSuite, 2), 1) << "taken with the first sequence";
        EXPECT_EQ(second.outstandingSuite(kHandleSuite, 2), 0);
        ASSERT_EQ(first.teardownInstance(), PF_Err_NONE);
        EXPECT_EQ(first.outstandingSuites(), 1) << "the handler lives on for the second";
        ASSERT_EQ(second.send(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
        EXPECT_EQ(first.outstandingSuites(), 0) << "the last state gave it back to its host";
        EXPECT_EQ(second.outstandingSuites(), 0);
        // Once more, and this time the host it came from goes before it is given back.
        ASSERT_EQ(first.send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        ASSERT_EQ(second.send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
        ASSERT_EQ(first.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
        EXPECT_EQ(first.outstandingSuite(kHandleSuite, 2), 1);
    }
    ASSERT_EQ(second.teardownInstance(), PF_Err_NONE);
    EXPECT_EQ(second.outstandingSuites(), 0);
    EXPECT_EQ(second.refusedReleases(), 0);

    PF_Err err = PF_Err_NONE;
    EXPECT_NONFATAL_FAILURE(err = second.basicSuite()->ReleaseSuite(kHandleSuite, 2),
                            "released PF Handle Suite 2, which no host holds");
    EXPECT_EQ(err, A_Err_MISSING_SUITE);
    EXPECT_EQ(second.refusedReleases(), 1);
}

} // namespace
