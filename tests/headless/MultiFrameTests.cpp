// The host's multi-frame mode, played against a small effect that keeps the contract of a
// thread-safe effect: get-flattened answers a new flat record, resetup makes a live record of
// it, and the render reads the record through the sequence data suite (in_data->sequence_data
// is null) and shares one computed value per record through the compute cache.
#include "headless/ComputeCache.h"
#include "headless/MultiFrame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kClass = "test.headless.multiframe_v1";

struct Record { // the sequence data: 16 bytes, no pointer
    uint32_t marker;
    uint32_t flat; // 1 in a flat copy
    uint64_t reserved;
};
static_assert(sizeof(Record) == 16);

std::atomic<int> g_renders{0};
std::atomic<int> g_sawSequenceData{0}; // renders handed in_data->sequence_data
bool g_leaveFlattenedUnassigned = false;

A_Err keyOf(AEGP_CCComputeOptionsRefconP options, AEGP_CCComputeKeyP key) {
    std::memset(key, 0, sizeof *key);
    key->bytes[0] = static_cast<A_long>(*static_cast<uint32_t*>(options));
    return A_Err_NONE;
}
A_Err computeValue(AEGP_CCComputeOptionsRefconP options, AEGP_CCComputeValueRefconP* value) {
    *value = new uint32_t(*static_cast<uint32_t*>(options) * 2);
    return A_Err_NONE;
}
size_t sizeOfValue(AEGP_CCComputeValueRefconP) {
    return sizeof(uint32_t);
}
void deleteValue(AEGP_CCComputeValueRefconP value) {
    delete static_cast<uint32_t*>(value);
}
const AEGP_ComputeCacheCallbacks kCallbacks{keyOf, computeValue, sizeOfValue, deleteValue};

template <class Suite> const Suite* acquire(PF_InData* in, const char* name, int version) {
    const void* table = nullptr;
    if (in->pica_basicP->AcquireSuite(name, version, &table) != A_Err_NONE)
        return nullptr;
    return static_cast<const Suite*>(table);
}

PF_Handle newRecord(PF_InData* in, const Record& r) {
    PF_Handle h = in->utils->host_new_handle(sizeof r);
    if (h != nullptr)
        std::memcpy(*h, &r, sizeof r);
    return h;
}

PF_Err smartRender(PF_InData* in, PF_SmartRenderExtra* extra) {
    ++g_renders;
    if (in->sequence_data != nullptr)
        ++g_sawSequenceData;
    const auto* seq = acquire<PF_EffectSequenceDataSuite1>(in, kPFEffectSequenceDataSuite,
                                                           kPFEffectSequenceDataSuiteVersion1);
    if (seq == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    PF_ConstHandle h = nullptr;
    PF_Err err = seq->PF_GetConstSequenceData(in->effect_ref, &h);
    in->pica_basicP->ReleaseSuite(kPFEffectSequenceDataSuite, kPFEffectSequenceDataSuiteVersion1);
    if (err != PF_Err_NONE || h == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    Record r;
    std::memcpy(&r, *h, sizeof r);
    if (r.flat != 0)
        return PF_Err_BAD_CALLBACK_PARAM; // a render of a copy that was never resetup

    uint32_t value = r.marker * 2;
    if (const auto* cache = acquire<AEGP_ComputeCacheSuite1>(in, kAEGPComputeCacheSuite,
                                                             kAEGPComputeCacheSuiteVersion1)) {
        AEGP_CCCheckoutReceiptP receipt = nullptr;
        AEGP_CCComputeValueRefconP v = nullptr;
        err = cache->AEGP_ComputeIfNeededAndCheckout(kClass, &r.marker, true, &receipt);
        if (err == A_Err_NONE) {
            err = cache->AEGP_GetReceiptComputeValue(receipt, &v);
            if (err == A_Err_NONE)
                value = *static_cast<uint32_t*>(v);
            cache->AEGP_CheckinComputeReceipt(receipt);
        }
        in->pica_basicP->ReleaseSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
        if (err != A_Err_NONE)
            return err;
    }
    PF_EffectWorld* out = nullptr;
    err = extra->cb->checkout_output(in->effect_ref, &out);
    if (err != PF_Err_NONE)
        return err;
    std::memcpy(out->data, &value, sizeof value);
    return PF_Err_NONE;
}

PF_Err threadSafeEffect(const char*, PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**,
                        PF_LayerDef*, void* extra) {
    switch (cmd) {
    case PF_Cmd_GLOBAL_SETUP:
    case PF_Cmd_GLOBAL_SETDOWN: {
        const auto* cache = acquire<AEGP_ComputeCacheSuite1>(in, kAEGPComputeCacheSuite,
                                                             kAEGPComputeCacheSuiteVersion1);
        if (cache == nullptr)
            return PF_Err_NONE;
        const A_Err err = cmd == PF_Cmd_GLOBAL_SETUP
                              ? cache->AEGP_ClassRegister(kClass, &kCallbacks)
                              : cache->AEGP_ClassUnregister(kClass);
        in->pica_basicP->ReleaseSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
        return err;
    }
    case PF_Cmd_SEQUENCE_SETUP:
        out->sequence_data = newRecord(in, Record{41, 0, 0});
        return out->sequence_data != nullptr ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
    case PF_Cmd_GET_FLATTENED_SEQUENCE_DATA: {
        if (g_leaveFlattenedUnassigned)
            return PF_Err_NONE;
        Record r;
        std::memcpy(&r, *in->sequence_data, sizeof r);
        r.flat = 1;
        out->sequence_data = newRecord(in, r);
        return out->sequence_data != nullptr ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
    }
    case PF_Cmd_SEQUENCE_RESETUP: {
        Record r{0, 0, 0};
        if (in->sequence_data != nullptr) {
            std::memcpy(&r, *in->sequence_data, sizeof r);
            in->utils->host_dispose_handle(in->sequence_data);
        }
        r.flat = 0;
        out->sequence_data = newRecord(in, r);
        return out->sequence_data != nullptr ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY;
    }
    case PF_Cmd_SEQUENCE_SETDOWN:
        in->utils->host_dispose_handle(in->sequence_data);
        out->sequence_data = nullptr;
        return PF_Err_NONE;
    case PF_Cmd_SMART_RENDER:
        return smartRender(in, static_cast<PF_SmartRenderExtra*>(extra));
    default:
        return PF_Err_NONE;
    }
}

// Frames of 2x2 8-bit pixels; the effect writes its value into the first pixel.
struct Frames {
    explicit Frames(int n) {
        for (int i = 0; i < n; ++i) {
            inputs.push_back(std::make_unique<headless::HostWorld>(2, 2, 1));
            outputs.push_back(std::make_unique<headless::HostWorld>(2, 2, 1));
            list.push_back({inputs.back().get(), outputs.back().get(), 8, i, -1});
        }
    }
    std::vector<uint32_t> values() const {
        std::vector<uint32_t> v;
        for (const auto& o : outputs) {
            uint32_t x;
            std::memcpy(&x, o->row(0), sizeof x);
            v.push_back(x);
        }
        return v;
    }
    std::vector<std::unique_ptr<headless::HostWorld>> inputs, outputs;
    std::vector<headless::MultiFrameRenderer::Frame> list;
};

void setMarker(headless::Host& ui, uint32_t marker) {
    auto* r = static_cast<Record*>(ui.lockHandle(ui.sequenceHandle()));
    r->marker = marker;
    ui.unlockHandle(ui.sequenceHandle());
}

TEST(MultiFrame, ThreadsRenderOneResetupCopyReadThroughTheSuiteAndShareTheCache) {
    g_renders = 0;
    g_sawSequenceData = 0;
    g_leaveFlattenedUnassigned = false;
    headless::Host ui(headless::Plugin::fromCommand(threadSafeEffect));
    ASSERT_EQ(ui.setupInstance(), PF_Err_NONE);
    const PF_Handle live = ui.sequenceHandle();
    {
        headless::MultiFrameRenderer r(ui);
        ASSERT_EQ(r.copyInstance(), PF_Err_NONE);
        ASSERT_NE(r.renderCopy(), nullptr);
        EXPECT_NE(r.renderCopy(), live);
        EXPECT_EQ(ui.sequenceHandle(), live);
        EXPECT_EQ(ui.liveHandles(), 1); // the flat copy was given back by the resetup

        Frames f(12);
        ASSERT_EQ(r.renderFrames(f.list, 4), PF_Err_NONE);
        EXPECT_EQ(f.values(), std::vector<uint32_t>(12, 82));
        EXPECT_EQ(ui.computeCache().computes(kClass, AEGP_GUID{{41, 0, 0, 0}}), 1);

        // A change on the UI side reaches the renders when the instance is copied again.
        setMarker(ui, 50);
        Frames g(6);
        ASSERT_EQ(r.renderFrames(g.list, 3), PF_Err_NONE);
        EXPECT_EQ(g.values(), std::vector<uint32_t>(6, 82));
        ASSERT_EQ(r.copyInstance(), PF_Err_NONE);
        ASSERT_EQ(r.renderFrames(g.list, 3), PF_Err_NONE);
        EXPECT_EQ(g.values(), std::vector<uint32_t>(6, 100));
        EXPECT_EQ(ui.computeCache().computes(kClass, AEGP_GUID{{50, 0, 0, 0}}), 1);

        EXPECT_EQ(g_renders, 24);
        EXPECT_EQ(g_sawSequenceData, 0);
        EXPECT_TRUE(r.traps().empty());
        EXPECT_TRUE(r.protocolFaults().empty());
        EXPECT_TRUE(ui.computeCache().faults().empty());
        EXPECT_EQ(r.setdownCopy(), PF_Err_NONE);
        EXPECT_EQ(r.liveHandles(), 0);
        EXPECT_EQ(r.outstandingSuites(), 0);
    }
    EXPECT_EQ(ui.teardownInstance(), PF_Err_NONE);
    EXPECT_EQ(ui.liveHandles(), 0);
    EXPECT_FALSE(ui.computeCache().isRegistered(kClass));
}

TEST(MultiFrame, WithheldCacheReachesTheRenderThreads) {
    g_leaveFlattenedUnassigned = false;
    headless::Host ui(headless::Plugin::fromCommand(threadSafeEffect));
    ui.withholdSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
    ASSERT_EQ(ui.setupInstance(), PF_Err_NONE);
    headless::MultiFrameRenderer r(ui);
    ASSERT_EQ(r.copyInstance(), PF_Err_NONE);
    Frames f(4);
    ASSERT_EQ(r.renderFrames(f.list, 2), PF_Err_NONE);
    EXPECT_EQ(f.values(), std::vector<uint32_t>(4, 82));
    EXPECT_EQ(ui.computeCache().computesTotal(), 0);
    EXPECT_EQ(r.setdownCopy(), PF_Err_NONE);
    EXPECT_EQ(ui.teardownInstance(), PF_Err_NONE);
}

TEST(MultiFrame, GetFlattenedThatAssignsNothingIsRecordedAndNothingIsCopied) {
    headless::Host ui(headless::Plugin::fromCommand(threadSafeEffect));
    ASSERT_EQ(ui.setupInstance(), PF_Err_NONE);
    g_leaveFlattenedUnassigned = true;
    {
        headless::MultiFrameRenderer r(ui);
        EXPECT_EQ(r.copyInstance(), PF_Err_INTERNAL_STRUCT_DAMAGED);
        EXPECT_EQ(r.renderCopy(), nullptr);
        ASSERT_EQ(ui.protocolFaults().size(), 1u);
        EXPECT_NE(ui.protocolFaults()[0].find("unassigned"), std::string::npos);
    }
    g_leaveFlattenedUnassigned = false;
    EXPECT_EQ(ui.teardownInstance(), PF_Err_NONE);
    EXPECT_EQ(ui.liveHandles(), 0);
}

} // namespace
