// The records and tables the headless host hands the effect, read as raw bytes at the offsets of
// the host's published layout rather than through our declarations; whole host tables whose
// unused slots trap; and the exact slots a full session of the effect calls.
#include "effect/ProductInfo.h"
#include "headless/LayerMasks.h"
#include "render/ParamLayout.h"
#include "tests/support/HostFixture.h"
#include "tests/support/HostSession.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The value of type T at byte `offset` of a record.
template <typename T> T at(const void* record, size_t offset) {
    T v;
    std::memcpy(&v, static_cast<const char*>(record) + offset, sizeof v);
    return v;
}

// The function in pointer slot `offset` of a table, as type F.
template <typename F> F slotAt(const void* table, size_t offset) {
    return at<F>(table, offset);
}

TEST(HostRecords, InDataFieldsAndCallbacksSitAtTheHostsOffsets) {
    auto host = zptest::newHost();
    ASSERT_EQ(host->setupInstance(), PF_Err_NONE);
    host->extension<headless::LayerMasks>().masks = {crossrender::rectangle("Sky", 1, 2, 9, 8)};
    PF_InData& in = host->inData();
    in.current_time = 48;
    in.time_step = 2;
    in.time_scale = 24;
    in.height = 480;
    in.extent_hint = PF_Rect{1, 2, 30, 40};
    in.output_origin_x = -5;
    in.output_origin_y = 6;
    in.downsample_x = PF_RationalScale{1, 2};
    in.downsample_y = PF_RationalScale{1, 4};
    const void* raw = &host->preparedInData();

    EXPECT_EQ(at<A_long>(raw, 224), 48);    // current_time
    EXPECT_EQ(at<A_long>(raw, 228), 2);     // time_step
    EXPECT_EQ(at<A_u_long>(raw, 240), 24u); // time_scale
    EXPECT_EQ(at<A_long>(raw, 256), 480);   // height
    EXPECT_EQ(at<A_long>(raw, 260), 1);     // extent_hint.left
    EXPECT_EQ(at<A_long>(raw, 272), 40);    // extent_hint.bottom
    EXPECT_EQ(at<A_long>(raw, 276), -5);    // output_origin_x
    EXPECT_EQ(at<A_long>(raw, 280), 6);     // output_origin_y
    EXPECT_EQ(at<A_u_long>(raw, 288), 2u);  // downsample_x.den
    EXPECT_EQ(at<A_u_long>(raw, 296), 4u);  // downsample_y.den
    EXPECT_EQ(at<PF_Handle>(raw, 320), host->sequenceHandle());
    EXPECT_NE(at<PF_ProgPtr>(raw, 184), nullptr); // effect_ref

    // The handle functions of the utility callbacks at 160..184 and the platform data at 432.
    const void* utils = at<const void*>(raw, 176);
    ASSERT_NE(utils, nullptr);
    const int handles = host->liveHandles();
    PF_Handle h = slotAt<PF_Handle (*)(A_u_longlong)>(utils, 160)(24);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host->lastHandleSize(), 24);
    EXPECT_NE(slotAt<void* (*)(PF_Handle)>(utils, 168)(h), nullptr);
    EXPECT_EQ(host->lockedHandles(), 1);
    slotAt<void (*)(PF_Handle)>(utils, 176)(h);
    slotAt<void (*)(PF_Handle)>(utils, 184)(h);
    EXPECT_EQ(host->liveHandles(), handles);
    host->setPluginPath("/plug-ins/Zonepainter.aex");
    char path[272] = {};
    EXPECT_EQ((slotAt<PF_Err (*)(PF_ProgPtr, A_long, void*)>(utils, 432)(nullptr, 1, path)), 0);
    EXPECT_STREQ(path, "/plug-ins/Zonepainter.aex");

    // Parameter checkout at 0 of the interaction callbacks, the record's start.
    PF_ParamDef def{};
    using Checkout = PF_Err (*)(PF_ProgPtr, A_long, A_long, A_long, A_u_long, PF_ParamDef*);
    EXPECT_EQ(slotAt<Checkout>(raw, 0)(nullptr, params::kLinkMasks, 0, 1, 24, &def), 0);
    EXPECT_EQ(at<A_long>(&def, 56), params::kLinkMaskName); // u.pd.value
    slotAt<PF_Err (*)(PF_ProgPtr, PF_ParamDef*)>(raw, 8)(nullptr, &def);
    EXPECT_EQ(host->outstandingCheckouts(), 0);

    // The basic suite at 384, its AcquireSuite at 0, the mask colour at slot 14 (byte 112).
    const void* basic = at<const void*>(raw, 384);
    ASSERT_EQ(basic, host->basicSuite());
    const void* masks = nullptr;
    using Acquire = A_long (*)(const char*, int, const void**);
    ASSERT_EQ(slotAt<Acquire>(basic, 0)("AEGP Layer Mask Suite", 5, &masks), 0);
    AEGP_MaskRefH mask = nullptr;
    using ByIndex = A_Err (*)(AEGP_LayerH, A_long, AEGP_MaskRefH*);
    ASSERT_EQ(slotAt<ByIndex>(masks, 8)(nullptr, 0, &mask), A_Err_NONE);
    // The colour record read by its bytes: alpha, red, green, blue doubles at 0, 8, 16, 24.
    AEGP_ColorVal colour{};
    using GetColour = A_Err (*)(AEGP_MaskRefH, AEGP_ColorVal*);
    EXPECT_EQ(slotAt<GetColour>(masks, 112)(mask, &colour), A_Err_NONE);
    EXPECT_EQ(at<double>(&colour, 8), 1.0);  // red: the host's default mask colour is yellow
    EXPECT_EQ(at<double>(&colour, 24), 0.0); // blue
    slotAt<A_Err (*)(AEGP_MaskRefH)>(masks, 16)(mask);
    slotAt<A_long (*)(const char*, int)>(basic, 8)("AEGP Layer Mask Suite", 5);
    EXPECT_EQ(host->extension<headless::LayerMasks>().outstanding(), 0);
    EXPECT_TRUE(host->traps().empty());
    EXPECT_EQ(host->teardownInstance(), PF_Err_NONE);
}

TEST(HostRecords, TheEffectWritesOutDataAndParameterRecordsAtTheHostsOffsets) {
    auto host = zptest::newHost();
    ASSERT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    const void* out = &host->outData();
    EXPECT_EQ(at<A_u_long>(out, 0), product::kMyVersion);
    EXPECT_EQ(at<A_u_long>(out, 96), product::kOutFlags);
    // Behind the 32-byte sound world: where the host looks for smart render and float support.
    EXPECT_EQ(at<A_u_long>(out, 400), product::kReportedOutFlags2);
    ASSERT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(at<A_long>(out, 48), params::kNumParams);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    EXPECT_EQ(at<PF_Handle>(out, 56), host->sequenceHandle());
    EXPECT_NE(host->sequenceHandle(), nullptr);

    // Float sliders: the union starts at 56, value_desc takes 32 bytes from 16, and the range,
    // default and precision follow it.
    const auto slider = [&](int index) { return &host->declared()[size_t(index) - 1].def; };
    const PF_ParamDef* hue = slider(params::adjustSlider(0, params::kHue));
    EXPECT_EQ(at<A_long>(hue, 12), PF_Param_FLOAT_SLIDER);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(hue) + 16), "Hue");
    EXPECT_EQ(at<double>(hue, 56), 0.0);         // value
    EXPECT_EQ(at<char>(hue, 56 + 16), '\0');     // value_desc
    EXPECT_EQ(at<float>(hue, 56 + 48), -360.0f); // valid_min
    EXPECT_EQ(at<float>(hue, 56 + 52), 360.0f);  // valid_max
    EXPECT_EQ(at<float>(hue, 56 + 56), -360.0f); // slider_min
    EXPECT_EQ(at<float>(hue, 56 + 60), 360.0f);  // slider_max
    EXPECT_EQ(at<A_short>(hue, 56 + 68), 1);     // precision
    const PF_ParamDef* opacity = slider(params::colorizeOpacity(0));
    EXPECT_EQ(at<double>(opacity, 56), 100.0);
    EXPECT_EQ(at<float>(opacity, 56 + 64), 100.0f); // dephault
    const PF_ParamDef* link = slider(params::kLinkMasks);
    EXPECT_EQ(at<A_short>(link, 56 + 4), 2);                     // num_choices
    EXPECT_EQ(at<A_short>(link, 56 + 6), params::kLinkMaskName); // dephault
    EXPECT_EQ(host->teardownInstance(), PF_Err_NONE);
}

// --- traps ----------------------------------------------------------------------------------

// A plug-in built against a mask suite declared in another order: it means to read the mask's
// colour and calls slot 4, which in the host's table sets the mask's inversion.
PF_Err misdeclaredCommand(const char*, PF_Cmd cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**,
                          PF_LayerDef*, void*) {
    if (cmd != PF_Cmd_SEQUENCE_SETUP)
        return PF_Err_NONE;
    const void* suite = nullptr;
    if (in_data->pica_basicP->AcquireSuite(kAEGPMaskSuite, kAEGPMaskSuiteVersion4, &suite) != 0)
        return A_Err_MISSING_SUITE;
    AEGP_ColorVal colour{};
    const PF_Err err = slotAt<A_Err (*)(AEGP_MaskRefH, AEGP_ColorVal*)>(suite, 4 * sizeof(void*))(
        nullptr, &colour);
    in_data->pica_basicP->ReleaseSuite(kAEGPMaskSuite, kAEGPMaskSuiteVersion4);
    return err;
}

TEST(HostTables, ACallIntoAnUnusedSlotIsCaughtAndFailsTheTest) {
    headless::Host host(headless::Plugin::fromCommand(misdeclaredCommand));
    PF_Err err = PF_Err_NONE;
    EXPECT_NONFATAL_FAILURE(err = host.send(PF_Cmd_SEQUENCE_SETUP),
                            "slot 4 of AEGP_MaskSuite4, which it must not use");
    EXPECT_NE(err, PF_Err_NONE);
    ASSERT_EQ(host.traps().size(), 1u);
    EXPECT_EQ(host.traps()[0].table, "AEGP_MaskSuite4");
    EXPECT_EQ(host.traps()[0].slot, 4);
    EXPECT_EQ(host.outstandingSuites(), 0);
}

TEST(HostTables, AFullSessionCallsExactlyTheSlotsTheEffectIsMeantTo) {
    auto host = zptest::newHost();
    EXPECT_EQ(hostsession::runFullSession(*host), PF_Err_NONE);
    EXPECT_EQ(host->slotCalls(), hostsession::expectedSlots(false));
    EXPECT_TRUE(host->traps().empty());
    EXPECT_EQ(host->liveHandles(), 0);
    EXPECT_EQ(host->outstandingSuites(), 0);
}

} // namespace
