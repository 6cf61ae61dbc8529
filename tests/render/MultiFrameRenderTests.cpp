// Frames of one sequence rendered on several threads at once, each in a render context of its
// own, the way a host renders an effect that declares thread safety: the host copies the
// sequence (get-flattened, resetup) and its render threads read the copy through the sequence
// data suite. Every frame must equal the frame a lone sequence renders.
#include "effect/SequenceCommands.h"
#include "render/KeptStore.h"
#include "render/ParamLayout.h"
#include "render/Pipeline.h"
#include "render/RenderState.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

namespace {

using headless::HostWorld;

constexpr int kLayerHeight = 48;

// Keeping is off: frames then never depend on what another frame kept.
struct NoKeeping {
    NoKeeping() { KeptStore::library().setBudget(0); }
    ~NoKeeping() { KeptStore::library().setBudget(kKeptBudgetBytes); }
};

// One adjust group on a mask, with blur, fill light and glow all on.
zptest::Instance instanceWithEffects() {
    auto inst = zptest::makeInstance(true);
    headless::Host& h = *inst.host;
    inst.masks().masks = {zptest::rectangleMask("Zone", 8, 8, 40, 40)};
    h.setPath(params::adjustMask(0), 1);
    h.setSlider(params::adjustSlider(0, params::kBrightness), 10);
    h.setSlider(params::adjustSlider(0, params::kEffects), 100);
    h.setSlider(params::kBlurAmount, 5);
    h.setSlider(params::kFillBrightness, 150);
    h.setSlider(params::kGlowAmount, 120);
    h.setSlider(params::kGlowBlur, 10);
    h.inData().height = kLayerHeight;
    return inst;
}

std::vector<uint8_t> renderFrame(headless::Host& host, int bpc, unsigned seed) {
    HostWorld in(64, 48, bpc), out(64, 48, bpc);
    zptest::paintTestImage(in, seed);
    EXPECT_EQ(host.extension<headless::RenderProtocol>().renderSmart(in, out, 8 * bpc),
              PF_Err_NONE);
    return out.packedPixels();
}

// Holds each thread's first frame until every thread is inside one, so that that many frames
// of the sequence render at once.
class MeetOnce : public PipelineObserver {
public:
    explicit MeetOnce(std::latch& all) : all_(all) {}
    void strokes(const PixelBuffer&) override {
        if (!met_)
            all_.arrive_and_wait();
        met_ = true;
    }

private:
    std::latch& all_;
    bool met_ = false;
};

// The render copy of `ui`'s sequence, made as a host makes it: get-flattened on the instance,
// resetup of the flat copy on the render side.
struct RenderCopy {
    explicit RenderCopy(headless::Host& ui) : host(ui.plugin()) {
        PF_Handle flat = nullptr;
        EXPECT_EQ(ui.getFlattenedSequenceData(flat), PF_Err_NONE);
        host.renderFor(ui, nullptr);
        host.setSequenceHandle(flat);
        EXPECT_EQ(host.send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
        handle = host.sequenceHandle();
    }
    ~RenderCopy() {
        host.makeCurrent();
        EXPECT_EQ(host.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    }
    headless::Host host;
    PF_Handle handle = nullptr;
};

TEST(MultiFrameRender, ThreadsRenderOneCopyInContextsOfTheirOwnAsALoneSequenceDoes) {
    NoKeeping noKeeping;
    constexpr int kThreads = 4;
    constexpr int kFrames = 12;
    for (const int bpc : {1, 2, 4}) {
        SCOPED_TRACE(bpc);
        auto lone = instanceWithEffects();
        std::vector<std::vector<uint8_t>> expected;
        for (int f = 0; f < kFrames; ++f)
            expected.push_back(renderFrame(*lone.host, bpc, static_cast<unsigned>(f)));

        auto ui = instanceWithEffects();
        std::vector<std::vector<uint8_t>> got(kFrames);
        {
            RenderCopy copy(*ui.host);
            std::latch all(kThreads);
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&, t] {
                    headless::Host host(ui.host->plugin());
                    host.renderFor(*ui.host, &copy.handle);
                    host.inData().height = kLayerHeight;
                    MeetOnce meet(all);
                    setPipelineObserver(&meet);
                    for (int f = t; f < kFrames; f += kThreads)
                        got[static_cast<size_t>(f)] =
                            renderFrame(host, bpc, static_cast<unsigned>(f));
                    setPipelineObserver(nullptr);
                });
            }
            for (std::thread& t : threads)
                t.join();
            const RenderState* state = renderStateOf(copy.handle);
            ASSERT_NE(state, nullptr);
            EXPECT_EQ(state->contexts.made(), kThreads) << "one context per frame in flight";
            EXPECT_EQ(state->contexts.idle(), kThreads) << "every context given back";
        }
        for (int f = 0; f < kFrames; ++f)
            EXPECT_EQ(got[static_cast<size_t>(f)], expected[static_cast<size_t>(f)])
                << "frame " << f;
    }
}

// The glow's blur stays in Gaussian mode once the sequence has met a float frame, whichever
// context renders the frames after it.
TEST(MultiFrameRender, GlowBlurModeIsTheSequencesWhicheverContextRenders) {
    NoKeeping noKeeping;
    auto lone = instanceWithEffects();
    renderFrame(*lone.host, 4, 1);
    const std::vector<uint8_t> afterFloat = renderFrame(*lone.host, 1, 2);
    auto fresh = instanceWithEffects();
    ASSERT_NE(renderFrame(*fresh.host, 1, 2), afterFloat) << "the mode shows in the bytes";

    auto inst = instanceWithEffects();
    renderFrame(*inst.host, 4, 1);
    RenderState* state = renderStateOf(inst.host->sequenceHandle());
    ASSERT_EQ(state->contexts.made(), 1);
    // With the float frame's context taken, the next frame renders in a new one.
    ContextLease held = state->contexts.lease();
    EXPECT_EQ(renderFrame(*inst.host, 1, 2), afterFloat);
    EXPECT_EQ(state->contexts.made(), 2);
}

} // namespace
