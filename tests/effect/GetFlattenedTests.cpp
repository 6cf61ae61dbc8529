// Command 28 and the sequence commands a host that renders on several threads sends: the flat
// copy of a live sequence, setdown and resetup of flat and missing data, and renders that read
// the record through the sequence data suite.
#include "effect/SequenceCommands.h"
#include "render/ParamLayout.h"
#include "tests/support/RenderFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using headless::HostWorld;

std::vector<uint8_t> bytesOf(PF_Handle h) {
    const auto* p = static_cast<const uint8_t*>(*h);
    return {p, p + sizeof(SequenceData)};
}

zptest::Instance instanceWithZone() {
    auto inst = zptest::makeInstance(true);
    inst.masks().masks = {zptest::rectangleMask("Zone", 8, 8, 40, 40)};
    inst.host->setPath(params::adjustMask(0), 1);
    inst.host->setSlider(params::adjustSlider(0, params::kBrightness), 30);
    return inst;
}

std::vector<uint8_t> renderFrame(headless::Host& host, PF_Err expected = PF_Err_NONE) {
    HostWorld in(48, 48, 1), out(48, 48, 1);
    zptest::paintTestImage(in);
    EXPECT_EQ(host.extension<headless::RenderProtocol>().renderSmart(in, out, 8), expected);
    return out.packedPixels();
}

TEST(GetFlattened, CopiesWhatFlattenWritesAndLeavesTheLiveSequenceRendering) {
    auto inst = instanceWithZone();
    headless::Host& ui = *inst.host;
    const std::vector<uint8_t> frame = renderFrame(ui);
    const PF_Handle live = ui.sequenceHandle();
    // Padding the effect never writes is copied as it is.
    static_cast<uint8_t*>(*live)[5] = 0xA7;
    const std::vector<uint8_t> liveBytes = bytesOf(live);

    PF_Handle flat = nullptr;
    ASSERT_EQ(ui.getFlattenedSequenceData(flat), PF_Err_NONE);
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(ui.sequenceHandle(), live);
    EXPECT_EQ(bytesOf(live), liveBytes) << "the live record is untouched";
    EXPECT_EQ(renderFrame(ui), frame) << "and its state still renders";
    const std::vector<uint8_t> flatBytes = bytesOf(flat);

    {
        // The host's render side: a resetup of the copy renders the same frames.
        headless::Host copy(ui.plugin());
        copy.renderFor(ui, nullptr);
        copy.setSequenceHandle(flat);
        ASSERT_EQ(copy.send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
        EXPECT_NE(copy.sequenceHandle(), live);
        EXPECT_EQ(renderFrame(copy), frame);
        EXPECT_EQ(copy.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    }
    ui.makeCurrent();
    EXPECT_EQ(renderFrame(ui), frame) << "the copy's setdown leaves the live state alone";

    ASSERT_EQ(ui.send(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    EXPECT_EQ(bytesOf(live), flatBytes) << "exactly the bytes flatten writes";
    EXPECT_TRUE(ui.protocolFaults().empty());
}

TEST(GetFlattened, ARefusedHandleIsAnErrorThatChangesNothing) {
    for (const char* refused : {"host_new_handle", "host_lock_handle"}) {
        SCOPED_TRACE(refused);
        auto inst = instanceWithZone();
        headless::Host& ui = *inst.host;
        const std::vector<uint8_t> frame = renderFrame(ui);
        const std::vector<uint8_t> liveBytes = bytesOf(ui.sequenceHandle());
        const int handles = ui.liveHandles();
        ui.faults.failCall(refused, ui.faults.calls(refused) + 1);
        PF_Handle flat = nullptr;
        EXPECT_EQ(ui.getFlattenedSequenceData(flat), PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(flat, nullptr);
        EXPECT_EQ(ui.liveHandles(), handles);
        EXPECT_EQ(bytesOf(ui.sequenceHandle()), liveBytes);
        EXPECT_EQ(renderFrame(ui), frame);
    }
}

TEST(GetFlattened, WithoutSequenceDataAnswersNull) {
    auto inst = zptest::makeInstance(true);
    headless::Host& ui = *inst.host;
    ASSERT_EQ(ui.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    ui.setSequenceHandle(nullptr);
    PF_Handle flat = reinterpret_cast<PF_Handle>(&ui); // anything but null
    EXPECT_EQ(ui.getFlattenedSequenceData(flat), PF_Err_NONE);
    EXPECT_EQ(flat, nullptr);
    EXPECT_TRUE(ui.protocolFaults().empty());
}

// Setdown of a flat copy gives back only its handle; resetup without data makes a fresh state.
TEST(GetFlattened, SetdownAndResetupTakeFlatAndMissingData) {
    auto inst = instanceWithZone();
    headless::Host& ui = *inst.host;
    const std::vector<uint8_t> frame = renderFrame(ui);
    const int handles = ui.liveHandles();
    PF_Handle flat = nullptr;
    ASSERT_EQ(ui.getFlattenedSequenceData(flat), PF_Err_NONE);
    {
        headless::Host other(ui.plugin());
        other.renderFor(ui, nullptr);
        other.setSequenceHandle(flat);
        EXPECT_EQ(other.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
        EXPECT_EQ(other.outData().sequence_data, nullptr);
        other.setSequenceHandle(nullptr);
        EXPECT_EQ(other.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
        EXPECT_EQ(other.send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
        ASSERT_NE(other.sequenceHandle(), nullptr);
        EXPECT_EQ(renderFrame(other), frame);
        EXPECT_EQ(other.send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    }
    ui.makeCurrent();
    EXPECT_EQ(ui.liveHandles(), handles);
    EXPECT_EQ(renderFrame(ui), frame);
}

// With the suite, the record comes from the host even though in_data->sequence_data is null;
// without it, from in_data->sequence_data; with neither there is nothing to render with.
TEST(RenderSequenceData, TheRecordComesThroughTheSuiteWhenTheHostOffersIt) {
    auto inst = instanceWithZone();
    headless::Host& ui = *inst.host;
    const std::vector<uint8_t> frame = renderFrame(ui);
    PF_Handle live = ui.sequenceHandle();
    headless::Host side(ui.plugin());
    side.renderFor(ui, &live);
    EXPECT_EQ(renderFrame(side), frame);

    // A refusal is the host's answer to the command.
    side.faults.failCall("PF_GetConstSequenceData",
                         side.faults.calls("PF_GetConstSequenceData") + 1);
    renderFrame(side, PF_Err_BAD_CALLBACK_PARAM);

    side.withholdSuite(kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1);
    renderFrame(side, PF_Err_INTERNAL_STRUCT_DAMAGED);
    ui.withholdSuite(kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1);
    ui.makeCurrent();
    EXPECT_EQ(renderFrame(ui), frame);
}

} // namespace
