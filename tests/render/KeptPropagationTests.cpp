// Label maps are kept by content (the host's compute cache, else the library's store) and reused
// while the propagation's inputs are byte-identical; anything that changes them propagates
// afresh; what the library keeps fits one budget, and keeping never decides whether or how a
// frame renders.
#include "effect/SequenceCommands.h"
#include "headless/ComputeCache.h"
#include "render/KeptBlend.h"
#include "render/KeptResultsFrame.h"
#include "render/KeptStore.h"
#include "render/ParamLayout.h"
#include "render/Pipeline.h"
#include "render/RenderState.h"
#include "tests/support/CountingMemoryHandler.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using headless::HostWorld;
using zptest::RenderKind;

constexpr int W = 64;
constexpr int H = 48;

struct ReuseWatch : PipelineObserver {
    std::vector<bool> reused;
    std::vector<bool> blends;
    std::vector<int> reblended; // the labels the last frame with a kept blend blended afresh
    void labelsReused(bool r) override { reused.push_back(r); }
    void blendReused(bool r) override { blends.push_back(r); }
    void zonesReblended(const uint8_t* changed) override {
        reblended.clear();
        for (int label = 1; label < 256; ++label) { // label 0 is no label
            if (changed[label] != 0)
                reblended.push_back(label);
        }
    }
};

// The effect linked into this program, so that the observer sees its frames.
// Nothing kept by earlier instances serves it: blends live in the library's store, so a fresh
// instance is a reference made from nothing kept.
zptest::Instance instance() {
    KeptStore::library().clear();
    auto inst = zptest::makeInstance(true);
    inst.masks().masks = {zptest::rectangleMask("Sky", 4, 4, 30, 20),
                          zptest::rectangleMask("Sea", 36, 26, 60, 44)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kHue), 40);
    inst.host->setPath(params::adjustMask(1), 2);
    inst.host->setSlider(params::adjustSlider(1, params::kSaturation), -30);
    inst.host->inData().height = H;
    return inst;
}

using InputChange = std::function<void(HostWorld&)>;

std::vector<uint8_t> render(zptest::Instance& inst, const InputChange& change = {}, int bpc = 1,
                            RenderKind kind = RenderKind::Smart) {
    HostWorld in(W, H, bpc), out(W, H, bpc);
    zptest::paintTestImage(in);
    if (change)
        change(in);
    EXPECT_EQ(inst.render(in, out, kind), PF_Err_NONE);
    EXPECT_TRUE(out.canariesIntact());
    return out.packedPixels();
}

class KeptPropagationTest : public ::testing::Test {
protected:
    void SetUp() override { setPipelineObserver(&watch); }
    void TearDown() override {
        setPipelineObserver(nullptr);
        setPropagationHasherForTesting(nullptr);
        KeptStore::library().setBudget(kKeptBudgetBytes);
    }
    ReuseWatch watch;
};

TEST_F(KeptPropagationTest, AColourChangeReusesTheMapAndGivesTheFreshSequencesPixels) {
    for (int bpc : {1, 2, 4}) {
        SCOPED_TRACE(bpc);
        auto inst = instance();
        render(inst, {}, bpc);
        inst.host->setSlider(params::adjustSlider(0, params::kHue), -75);
        inst.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
        inst.host->setSlider(params::kGlowAmount, 80);
        const auto again = render(inst, {}, bpc);
        auto fresh = instance();
        fresh.host->setSlider(params::adjustSlider(0, params::kHue), -75);
        fresh.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
        fresh.host->setSlider(params::kGlowAmount, 80);
        EXPECT_EQ(again, render(fresh, {}, bpc));
        EXPECT_EQ(watch.reused, (std::vector<bool>{false, true, false}));
        watch.reused.clear();
    }
}

// Slider steps as a colourist makes them, one zone at a time and back again: each frame after the
// first blends only the changed zone's pixels from the kept blend, and gives the pixels of a
// fresh sequence with the same settings. Zone k is label k + 1 (label 1 is the masks no group
// picks).
TEST_F(KeptPropagationTest, ColourStepsReblendOnlyTheirZoneAndGiveTheFreshSequencesPixels) {
    using Step = std::function<void(zptest::Instance&)>;
    struct ZoneStep {
        const char* what;
        int label;
        Step step;
    };
    const std::vector<ZoneStep> steps = {
        {"zone 1 hue", 2,
         [](zptest::Instance& i) {
             i.host->setSlider(params::adjustSlider(0, params::kHue), -75);
         }},
        {"zone 2 brightness", 3,
         [](zptest::Instance& i) {
             i.host->setSlider(params::adjustSlider(1, params::kBrightness), 35);
         }},
        {"zone 2 effects", 3,
         [](zptest::Instance& i) {
             i.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
         }},
        {"zone 1 hue back", 2,
         [](zptest::Instance& i) { i.host->setSlider(params::adjustSlider(0, params::kHue), 40); }},
    };
    for (int bpc : {1, 2, 4}) {
        SCOPED_TRACE(bpc);
        // A mask no group picks: its label keeps colours and gives no effects weight.
        const auto rock = zptest::rectangleMask("Rock", 40, 4, 60, 16);
        // References first, each from nothing kept: blends are shared by content.
        std::vector<std::vector<uint8_t>> alone;
        for (size_t i = 0; i < steps.size(); ++i) {
            auto a = instance();
            a.masks().masks.push_back(rock);
            for (size_t j = 0; j <= i; ++j)
                steps[j].step(a);
            alone.push_back(render(a, {}, bpc));
        }
        watch.blends.clear();
        auto inst = instance();
        inst.masks().masks.push_back(rock);
        render(inst, {}, bpc);
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE(steps[i].what);
            steps[i].step(inst);
            EXPECT_EQ(render(inst, {}, bpc), alone[i]);
            EXPECT_EQ(watch.reblended, std::vector<int>{steps[i].label});
        }
        EXPECT_EQ(watch.blends, (std::vector<bool>{false, true, true, true, true}));
        watch.blends.clear();
        watch.reused.clear();
    }
}

// The blend depends on the colours, which the map does not see: a frame with other colours of
// the same brightness reuses the map but blends every pixel afresh.
TEST_F(KeptPropagationTest, OtherColoursOfTheSameBrightnessBlendAfresh) {
    // 8-bit luma (76 R + 150 G + 29 B) / 255 is 100 for both colours.
    const auto paint = [](bool recoloured) -> InputChange {
        return [recoloured](HostWorld& w) {
            for (int x = 4; x < 30; ++x) {
                uint8_t* px = w.pixel<uint8_t>(x, 10);
                px[1] = 100, px[2] = 100, px[3] = 100;
                if (recoloured && x % 2 == 0)
                    px[1] = 129, px[3] = 24;
            }
        };
    };
    const InputChange recolour = paint(true);
    auto inst = instance();
    render(inst, paint(false));
    const auto recoloured = render(inst, recolour);
    auto fresh = instance();
    EXPECT_EQ(recoloured, render(fresh, recolour));
    EXPECT_EQ(watch.reused, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(watch.blends, (std::vector<bool>{false, false, false}));
}

TEST_F(KeptPropagationTest, EveryChangeOfThePropagationsInputsPropagatesAfresh) {
    struct Change {
        const char* what;
        std::function<void(zptest::Instance&)> apply;
        InputChange input = {};
    };
    const auto none = [](zptest::Instance&) {};
    const std::vector<Change> changes = {
        {"another frame", none, [](HostWorld& w) { w.pixel<uint8_t>(50, 10)[2] ^= 0x40; }},
        {"a world origin that moves the masks", none, [](HostWorld& w) { w.world.origin_x = 2; }},
        {"a moved stroke", [](zptest::Instance& i) { i.masks().masks[0].vertices[1].x += 3; }},
        {"a mask made invisible", [](zptest::Instance& i) { i.masks().masks[1].opacity = 0; }},
        {"another link mode",
         [](zptest::Instance& i) {
             i.masks().masks.push_back(zptest::rectangleMask("Sky 2", 40, 4, 60, 16));
             i.host->setPopup(params::kLinkMasks, params::kLinkMaskColor);
         }},
        {"another mask chosen",
         [](zptest::Instance& i) { i.host->setPath(params::adjustMask(1), 1); }},
        {"another downsampling",
         [](zptest::Instance& i) {
             i.host->inData().downsample_x = PF_RationalScale{1, 2};
         }},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        auto inst = instance();
        render(inst);
        c.apply(inst);
        const auto changed = render(inst, c.input);
        auto fresh = instance();
        c.apply(fresh);
        EXPECT_EQ(changed, render(fresh, c.input));
        ASSERT_EQ(watch.reused.size(), 3u);
        EXPECT_FALSE(watch.reused[1]);
        watch.reused.clear();
    }
}

// Frames of one instance keep their maps in its host's compute cache: a held plate (the same
// inputs at another time) shares one propagation, and every receipt is checked in before the
// command returns, also when the frame fails after its checkout.
TEST_F(KeptPropagationTest, TheHostsCacheSharesOnePropagationAndGetsEveryReceiptBack) {
    auto inst = instance();
    headless::ComputeCache& cache = inst.host->computeCache();
    const auto first = render(inst);
    inst.host->inData().current_time += 100; // a held plate: another time, the same pixels
    EXPECT_EQ(render(inst), first);
    EXPECT_EQ(watch.reused, (std::vector<bool>{false, true}));
    EXPECT_EQ(cache.computesTotal(), 1);
    EXPECT_EQ(KeptStore::library().keptMaps(), 0) << "the host keeps the maps";

    // A frame that fails once its map is checked out (a block for the effects refused).
    inst.host->setSlider(params::adjustSlider(1, params::kEffects), 60);
    inst.host->setSlider(params::kGlowAmount, 80);
    const int64_t before = inst.host->faults.calls("host_new_handle");
    inst.host->faults.failCall("host_new_handle", before + 3);
    HostWorld in(W, H, 1), out(W, H, 1);
    zptest::paintTestImage(in);
    EXPECT_NE(inst.render(in, out, RenderKind::Smart), PF_Err_NONE);
    EXPECT_EQ(cache.checkedOut(), 0);
    EXPECT_EQ(cache.faults(), std::vector<std::string>{});
    ASSERT_EQ(inst.host->teardownInstance(), PF_Err_NONE);
    EXPECT_EQ(cache.deletes(), cache.computesTotal()) << "global setdown unregistered the class";
    EXPECT_EQ(cache.faults(), std::vector<std::string>{});
    inst.host.reset();
}

// The host may purge any value not checked out at any moment; a purge after every checkout and
// compute changes no byte of any frame.
TEST_F(KeptPropagationTest, PurgesInTheMiddleChangeNoByte) {
    auto inst = instance();
    inst.host->computeCache().setPurgeEagerly(true);
    render(inst);
    inst.host->setSlider(params::adjustSlider(0, params::kHue), -75);
    const auto again = render(inst);
    auto fresh = instance();
    fresh.host->setSlider(params::adjustSlider(0, params::kHue), -75);
    EXPECT_EQ(again, render(fresh));
    EXPECT_EQ(inst.host->computeCache().faults(), std::vector<std::string>{});
}

// Without the host's cache the library's store keeps the maps, with the same reuse; and with a
// hash that gives every input the same key, no frame takes another frame's map, in either.
TEST_F(KeptPropagationTest, AWithheldCacheFallsBackAndCollisionsNeverChangeAFrame) {
    const auto moved = [](zptest::Instance& i) { i.masks().masks[0].vertices[1].x += 3; };
    for (bool withheld : {true, false}) {
        SCOPED_TRACE(withheld);
        auto reference = instance();
        moved(reference);
        const auto expected = render(reference);
        auto inst = instance();
        if (withheld)
            inst.host->withholdSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
        setPropagationHasherForTesting([](const PropagationInputs&) { return PropagationKey{}; });
        render(inst);
        render(inst);
        EXPECT_EQ(KeptStore::library().keptMaps(), withheld ? 1 : 0);
        moved(inst);
        EXPECT_EQ(render(inst), expected) << "a collision changed the frame";
        setPropagationHasherForTesting(nullptr);
        EXPECT_EQ(watch.reused, (std::vector<bool>{false, false, true, false}));
        watch.reused.clear();
        EXPECT_EQ(inst.host->computeCache().faults(), std::vector<std::string>{});
    }
}

TEST_F(KeptPropagationTest, MemoryForKeepingThatCannotBeHadOnlyCostsTheReuse) {
    auto reference = instance();
    const auto expected = render(reference);
    // The raster, then the intensity refused: without the raster the frame cannot render;
    // without the intensity it renders as before and keeps nothing.
    for (int nth = 1; nth <= 2; ++nth) {
        SCOPED_TRACE(nth);
        auto inst = instance();
        const int64_t before = inst.host->faults.calls("host_new_handle");
        inst.host->faults.failCall("host_new_handle", before + nth);
        HostWorld in(W, H, 1), out(W, H, 1);
        zptest::paintTestImage(in);
        const PF_Err err = inst.render(in, out, RenderKind::Smart);
        if (nth == 1) {
            EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY);
        } else {
            EXPECT_EQ(err, PF_Err_NONE);
            EXPECT_EQ(out.packedPixels(), expected);
            EXPECT_EQ(inst.host->computeCache().cachedValues(), 0);
        }
        EXPECT_EQ(inst.host->liveHandles(), 1);
        EXPECT_EQ(render(inst), expected) << "the next frame renders and keeps";
        EXPECT_EQ(inst.host->computeCache().cachedValues(), 1);
    }
}

// The library's store, driven as frames drive it.
class KeptStoreTest : public ::testing::Test {
protected:
    void TearDown() override { setPropagationHasherForTesting(nullptr); }

    // Inputs of a w x h frame whose planes are all `fill`.
    struct Planes {
        std::vector<uint8_t> bytes;
        PropagationInputs inputs;
        Planes(int32_t w, int32_t h, uint8_t fill = 0, int32_t rw = 0, int32_t rh = 0)
            : bytes(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {
            inputs = {w, h, rw == 0 ? w : rw, rh == 0 ? h : rh, bytes.data(), bytes.data()};
        }
    };
    static ComputeMap filling(int& computes, uint32_t label = 7) {
        return [&computes, label](LabelCell* cells) {
            ++computes;
            cells[0].label0 = static_cast<uint16_t>(label);
        };
    }
    // One frame's map from `store`: whether it was kept.
    static bool frame(KeptStore& store, const Planes& p, int& computes) {
        KeptResultsFrame f(store, store);
        return f.map(p.inputs, filling(computes)) != nullptr;
    }
};

TEST_F(KeptStoreTest, TwoThreadsAskingForTheSameMapMakeItOnce) {
    KeptStore store;
    const Planes p(8, 4);
    std::atomic<int> computes{0};
    std::thread second;
    const LabelCell* seen[2] = {};
    {
        KeptResultsFrame f(store, store);
        seen[0] = f.map(p.inputs, [&](LabelCell*) {
            ++computes;
            // The second frame asks while this one makes the map.
            second = std::thread([&] {
                KeptResultsFrame g(store, store);
                seen[1] = g.map(p.inputs, [&](LabelCell*) { ++computes; });
            });
            std::this_thread::yield();
        });
        second.join();
    }
    EXPECT_EQ(computes.load(), 1);
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
}

TEST_F(KeptStoreTest, TheBudgetHoldsMapsInUseAndGivesTheLeastRecentlyUsedFirst) {
    KeptStore store;
    const Planes a(8, 4, 1), b(8, 4, 2), c(8, 4, 3);
    const int64_t map = KeptMap::bytesFor(a.inputs);
    int computes = 0;
    // Room for one map: a map in use on another thread is not evicted from under it.
    store.setBudget(map * 3 / 2);
    {
        KeptResultsFrame holding(store, store);
        ASSERT_NE(holding.map(a.inputs, filling(computes)), nullptr);
        bool kept = true;
        std::thread([&] { kept = frame(store, b, computes); }).join();
        EXPECT_FALSE(kept) << "no room while the first map is in use";
        EXPECT_EQ(store.keptMaps(), 1);
    }
    EXPECT_TRUE(frame(store, b, computes)) << "the first map, no longer used, made room";
    EXPECT_EQ(store.keptBytes(), map);

    // Room for two: a reuse makes a map the most recent, so a third evicts the other.
    store.setBudget(map * 5 / 2);
    ASSERT_TRUE(frame(store, a, computes));
    ASSERT_TRUE(frame(store, b, computes)); // reused
    ASSERT_TRUE(frame(store, a, computes)); // reused
    computes = 0;
    ASSERT_TRUE(frame(store, c, computes));
    ASSERT_TRUE(frame(store, a, computes));
    EXPECT_EQ(computes, 1) << "a, used most recently, stayed";
    ASSERT_TRUE(frame(store, b, computes));
    EXPECT_EQ(computes, 2) << "b, used least recently, went";

    store.setBudget(map - 1);
    EXPECT_EQ(store.keptBytes(), 0);
    EXPECT_FALSE(frame(store, a, computes)) << "below one map nothing is kept";
}

// Inputs are compared by their sizes and bytes, not their key: planes of the same bytes at other
// sizes, under one key, are other inputs.
TEST_F(KeptStoreTest, TheSameBytesAtOtherSizesAreOtherInputs) {
    setPropagationHasherForTesting([](const PropagationInputs&) { return PropagationKey{}; });
    KeptStore store;
    int computes = 0;
    const Planes kept(8, 4);
    KeptResultsFrame holding(store, store);
    ASSERT_NE(holding.map(kept.inputs, filling(computes)), nullptr);
    for (const Planes& other : {Planes(4, 8), Planes(8, 4, 0, 4, 8), Planes(4, 8, 0, 8, 4)}) {
        KeptResultsFrame f(store, store);
        EXPECT_EQ(f.map(other.inputs, filling(computes)), nullptr);
    }
    KeptResultsFrame same(store, store);
    EXPECT_NE(same.map(kept.inputs, filling(computes)), nullptr);
    EXPECT_EQ(computes, 1);
}

} // namespace
