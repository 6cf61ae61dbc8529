// Guarded worlds: every render of these tests goes into worlds surrounded by canary bytes with
// padded, odd and bottom-up row layouts, and the guards and row padding are checked after every
// command of the session, not only after the renders.
#include "render/ParamLayout.h"
#include "tests/reliability/Scenario.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using headless::HostWorld;
using reliability::kHeight;
using reliability::kWidth;

struct Layout {
    const char* name;
    // Row bytes from the packed row size and the channel size (0 = packed).
    std::function<int(int packed, int bpc)> rowBytes;
};

const Layout kLayouts[] = {
    {"packed", [](int, int) { return 0; }},
    {"padded", [](int packed, int) { return packed + 64; }},
    {"odd", [](int packed, int bpc) { return packed + 3 * bpc; }}, // not a whole pixel
    {"bottom-up", [](int packed, int) { return -packed; }},
    {"bottom-up odd", [](int packed, int bpc) { return -(packed + 5 * bpc); }},
};

struct Kind {
    const char* name;
    int bpc;
    bool smart;
};

const Kind kKinds[] = {{"plain8", 1, false},
                       {"plain16", 2, false},
                       {"smart8", 1, true},
                       {"smart16", 2, true},
                       {"smart32", 4, true}};

PF_Err render(headless::Host& host, HostWorld& in, HostWorld& out, const Kind& k) {
    auto& protocol = host.extension<headless::RenderProtocol>();
    return k.smart ? protocol.renderSmart(in, out, 8 * k.bpc) : protocol.renderPlain(in, out);
}

// A whole session with both worlds alive throughout; the guards are checked after each command.
// Returns the rendered pixels of the last frame.
std::vector<uint8_t> guardedSession(const Kind& k, int inRowBytes, int outRowBytes) {
    auto host = reliability::linkedHost();
    HostWorld in(kWidth, kHeight, k.bpc, inRowBytes);
    reliability::paint(in);
    HostWorld out(kWidth, kHeight, k.bpc, outRowBytes);
    out.fillBytes(0x5A);
    const auto input = in.packedPixels();
    auto guarded = [&](const char* what, PF_Err err) {
        EXPECT_EQ(err, PF_Err_NONE) << what;
        EXPECT_TRUE(in.canariesIntact()) << what;
        EXPECT_TRUE(out.canariesIntact()) << what;
        EXPECT_EQ(in.packedPixels(), input) << what << " changed the input";
    };
    guarded("global setup", host->send(PF_Cmd_GLOBAL_SETUP));
    guarded("params setup", host->send(PF_Cmd_PARAMS_SETUP));
    reliability::armEveryStage(*host, params::kBlendScreen);
    guarded("sequence setup", host->send(PF_Cmd_SEQUENCE_SETUP));
    for (int blend : {params::kBlendAdd, params::kBlendNormal, params::kBlendScreen}) {
        host->setPopup(params::kGlowBlend, blend);
        guarded("render", render(*host, in, out, k));
    }
    guarded("update UI", host->send(PF_Cmd_UPDATE_PARAMS_UI));
    guarded("flatten", host->send(PF_Cmd_SEQUENCE_FLATTEN));
    guarded("resetup", host->send(PF_Cmd_SEQUENCE_RESETUP));
    out.fillBytes(0x5A);
    guarded("render after resetup", render(*host, in, out, k));
    const auto pixels = out.packedPixels();
    guarded("sequence setdown", host->send(PF_Cmd_SEQUENCE_SETDOWN));
    guarded("global setdown", host->send(PF_Cmd_GLOBAL_SETDOWN));
    EXPECT_TRUE(reliability::holdings(*host).empty()) << reliability::holdings(*host).describe();
    EXPECT_EQ(reliability::alphaBytes(out), reliability::alphaBytes(in));
    return pixels;
}

TEST(GuardedWorlds, EveryRowLayoutGivesThePackedFrameAndStaysInside) {
    for (const Kind& k : kKinds) {
        const int packed = kWidth * 4 * k.bpc;
        SCOPED_TRACE(k.name);
        const auto reference = guardedSession(k, 0, 0);
        {
            HostWorld in(kWidth, kHeight, k.bpc);
            reliability::paint(in);
            ASSERT_NE(reference, in.packedPixels()) << "every stage is on: the frame changes";
        }
        for (const Layout& li : kLayouts) {
            for (const Layout& lo : kLayouts) {
                if (&li == &kLayouts[0] && &lo == &kLayouts[0])
                    continue;
                SCOPED_TRACE(std::string("input ") + li.name + ", output " + lo.name);
                EXPECT_EQ(guardedSession(k, li.rowBytes(packed, k.bpc), lo.rowBytes(packed, k.bpc)),
                          reference);
            }
        }
    }
}

// A deep world whose rows don't start on a channel boundary can't come from a host; it is
// refused before a byte is touched, and the sequence renders normally afterwards.
TEST(GuardedWorlds, RowsOffTheChannelGridAreRefusedUntouched) {
    for (const Kind& k : kKinds) {
        if (k.bpc == 1)
            continue;
        SCOPED_TRACE(k.name);
        auto inst = zptest::makeInstance(true);
        reliability::armEveryStage(*inst.host, params::kBlendAdd);
        const int packed = kWidth * 4 * k.bpc;
        for (auto [inRow, outRow] : {std::pair{packed + 1, 0}, std::pair{0, packed + 3},
                                     std::pair{-(packed + 1), -(packed + 1)}}) {
            HostWorld in(kWidth, kHeight, k.bpc, inRow);
            reliability::paint(in);
            HostWorld out(kWidth, kHeight, k.bpc, outRow);
            out.fillBytes(0x77);
            const auto before = out.packedPixels();
            EXPECT_EQ(render(*inst.host, in, out, k), PF_Err_BAD_CALLBACK_PARAM);
            EXPECT_EQ(out.packedPixels(), before);
            EXPECT_TRUE(in.canariesIntact());
            EXPECT_TRUE(out.canariesIntact());
            EXPECT_EQ(inst.host->liveHandles(), 1 + zptest::keptBlocks(*inst.host))
                << "only the sequence record and the kept map";
        }
        HostWorld in(kWidth, kHeight, k.bpc), out(kWidth, kHeight, k.bpc);
        reliability::paint(in);
        EXPECT_EQ(render(*inst.host, in, out, k), PF_Err_NONE);
    }
}

// Extent hints and output origins that reach beyond the worlds, and masks far outside them.
TEST(GuardedWorlds, AreasAndMasksBeyondTheWorldsStayInside) {
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.name);
        auto inst = zptest::makeInstance(true);
        headless::Host& h = *inst.host;
        reliability::armEveryStage(h, params::kBlendAdd);
        auto& masks = inst.masks().masks;
        masks.push_back(zptest::rectangleMask("Far", -1e7, -1e7, 1e7, 1e7));
        masks.push_back(reliability::openStroke("Off", -50, -30, 90, 70, 200, -5));
        h.setPath(params::adjustMask(4), static_cast<int>(masks.size()) - 1);
        h.setSlider(params::adjustSlider(4, params::kContrast), 50);
        h.setSlider(params::adjustSlider(4, params::kEffects), 100);
        h.setPath(params::adjustMask(5), static_cast<int>(masks.size()));
        h.setSlider(params::adjustSlider(5, params::kBlue), -70);
        const int packed = kWidth * 4 * k.bpc;
        const PF_Rect hints[] = {
            {3, 2, 20, 11}, {-40, -40, 400, 400}, {30, 20, 10, 5}, {100, 100, 200, 200}};
        const std::pair<int, int> origins[] = {{0, 0}, {5, -3}, {-30, 7}, {1000, 1000}};
        for (int i = 0; i < 4; ++i) {
            HostWorld in(kWidth, kHeight, k.bpc, packed + 2 * k.bpc);
            reliability::paint(in, static_cast<unsigned>(i));
            HostWorld out(kWidth, kHeight, k.bpc, -(packed + 4 * k.bpc));
            out.fillBytes(0x33);
            inst.protocol().useExtentHint = true;
            inst.protocol().extentHint = hints[i];
            h.inData().output_origin_x = origins[i].first;
            h.inData().output_origin_y = origins[i].second;
            EXPECT_EQ(render(h, in, out, k), PF_Err_NONE) << i;
            EXPECT_TRUE(in.canariesIntact()) << i;
            EXPECT_TRUE(out.canariesIntact()) << i;
            EXPECT_EQ(h.liveHandles(), 1 + zptest::keptBlocks(h)) << i;
            EXPECT_EQ(inst.masks().outstanding(), 0) << i;
        }
    }
}

} // namespace
