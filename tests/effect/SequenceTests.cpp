#include "effect/MemoryManager.h"
#include "effect/SequenceCommands.h"
#include "headless/Worlds.h"
#include "render/RenderState.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr const char* kHandleSuite = "PF Handle Suite";

// The handler exists exactly while the handle suite is held.
bool handlerAlive(const headless::Host& h) {
    return h.outstandingSuite(kHandleSuite, 2) == 1;
}

SequenceData recordOf(PF_Handle h) {
    SequenceData d;
    std::memcpy(&d, *h, sizeof d);
    return d;
}

std::unique_ptr<headless::Host> instance() {
    auto host = zptest::newHost();
    EXPECT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    return host;
}

TEST(SequenceLifecycle, SetupFlattenResetupSetdown) {
    auto host = instance();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    ASSERT_NE(host->sequenceHandle(), nullptr);
    EXPECT_EQ(host->lastHandleSize(), 16);
    EXPECT_NE(recordOf(host->sequenceHandle()).renderState, 0u);
    EXPECT_EQ(recordOf(host->sequenceHandle()).reserved, 0u);
    EXPECT_TRUE(handlerAlive(*host));
    EXPECT_EQ(host->outstandingSuites(), 8) << "seven render suites and the handle suite";
    ASSERT_EQ(host->registrations().size(), 1u);
    EXPECT_EQ(host->registrations()[0], "Zonepainter");
    EXPECT_EQ(host->lockedHandles(), 0) << "the record is unlocked after setup";

    PF_Handle h = host->sequenceHandle();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
    EXPECT_EQ(host->outData().sequence_data, h) << "flatten hands back the same handle";
    const SequenceData flat = recordOf(h);
    EXPECT_EQ(flat.reserved, 0u);
    EXPECT_EQ(flat.renderState, 0u);
    EXPECT_FALSE(handlerAlive(*host)) << "the last state took the handler with it";
    EXPECT_EQ(host->outstandingSuites(), 0);
    EXPECT_EQ(host->liveHandles(), 1) << "only the flattened record";

    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    EXPECT_NE(host->sequenceHandle(), nullptr);
    EXPECT_EQ(host->liveHandles(), 1) << "the flattened handle was disposed of";
    EXPECT_TRUE(handlerAlive(*host));
    EXPECT_EQ(host->registrations().size(), 2u) << "a new first state registers again";

    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->liveHandles(), 0);
    EXPECT_EQ(host->outstandingSuites(), 0);
}

TEST(SequenceLifecycle, TwoSequencesShareOneHandlerUntilBothAreGone) {
    auto host = instance();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    PF_Handle first = host->sequenceHandle();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    PF_Handle second = host->sequenceHandle();
    EXPECT_EQ(host->outstandingSuite(kHandleSuite, 2), 1) << "one handler for both";
    EXPECT_EQ(host->registrations().size(), 1u);

    host->setSequenceHandle(first);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_TRUE(handlerAlive(*host));
    host->setSequenceHandle(second);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_FALSE(handlerAlive(*host));
    EXPECT_EQ(host->liveHandles(), 0);
    EXPECT_EQ(host->outstandingSuites(), 0);
}

// Called directly: the headless host clears the out-data's sequence field before every
// sequence command, which would hide a handler writing it.
TEST(SequenceLifecycle, FlattenAndSetdownWithoutDataTouchNothing) {
    auto host = instance();
    for (auto handler : {&sequenceFlatten, &sequenceSetdown}) {
        PF_InData in{};
        PF_OutData out;
        std::memset(&out, 0x5A, sizeof out);
        const PF_OutData before = out;
        EXPECT_EQ(handler(&in, &out), PF_Err_NONE);
        EXPECT_EQ(std::memcmp(&before, &out, sizeof before), 0);
    }
}

// The render-state field of a record may hold anything a damaged project file or a host's
// copy of another sequence's record put there: each sequence command destroys only the state
// this library made for that very handle, and ignores any other value.
TEST(SequenceLifecycle, OnlyAStateTheHandleOwnsIsDestroyed) {
    auto host = instance();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    PF_Handle first = host->sequenceHandle();
    const uint64_t firstState = recordOf(first).renderState;
    for (PF_Cmd cmd : {PF_Cmd_SEQUENCE_RESETUP, PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN}) {
        for (uint64_t value : {uint64_t{0x00007f00deadbee0}, uint64_t{0}, firstState}) {
            SCOPED_TRACE(::testing::Message() << "command " << cmd << ", value " << value);
            ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
            ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_FLATTEN), PF_Err_NONE);
            std::memcpy(static_cast<char*>(*host->sequenceHandle()) + 8, &value, sizeof value);
            ASSERT_EQ(host->send(cmd), PF_Err_NONE);
            if (host->sequenceHandle() != nullptr) {
                EXPECT_EQ(recordOf(host->sequenceHandle()).renderState == 0,
                          cmd == PF_Cmd_SEQUENCE_FLATTEN);
                ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
            }
            EXPECT_EQ(host->outstandingSuites(), 8) << "the first sequence's state lives on";
            EXPECT_EQ(host->liveHandles(), 1);
        }
    }
    host->setSequenceHandle(first);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->outstandingSuites(), 0) << "and its own handle still destroys it";
}

// A render trusts the record on the same terms as setdown: a copy of a live record in another
// handle names a state that handle does not own, and once the original is set down that state
// is gone; rendering through the copy must be refused rather than reach freed memory.
TEST(SequenceLifecycle, ARenderThroughACopiedRecordIsRefused) {
    auto host = instance();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    PF_Handle original = host->sequenceHandle();
    PF_Handle copy = host->newHandle(sizeof(SequenceData));
    std::memcpy(*copy, *original, sizeof(SequenceData));
    auto& protocol = host->extension<headless::RenderProtocol>();
    headless::HostWorld in(8, 8, 1), out(8, 8, 1);
    auto smartRenderThrough = [&](PF_Handle h) {
        host->setSequenceHandle(h);
        return protocol.renderSmart(in, out, 8);
    };
    EXPECT_EQ(smartRenderThrough(original), PF_Err_NONE);
    EXPECT_EQ(smartRenderThrough(copy), PF_Err_INTERNAL_STRUCT_DAMAGED) << "original alive";
    host->setSequenceHandle(original);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(smartRenderThrough(copy), PF_Err_INTERNAL_STRUCT_DAMAGED) << "original set down";
    host->setSequenceHandle(copy);
    EXPECT_EQ(host->send(PF_Cmd_RENDER, nullptr, &out.world), PF_Err_INTERNAL_STRUCT_DAMAGED);
    host->disposeHandle(copy);
    EXPECT_EQ(host->liveHandles(), 0);
    EXPECT_EQ(host->outstandingSuites(), 0);
}

TEST(SequenceLifecycle, ResetupOfALiveRecordDestroysItsState) {
    auto host = instance();
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
    EXPECT_EQ(host->liveHandles(), 1);
    EXPECT_EQ(host->outstandingSuites(), 8) << "the old state's suites were given back";
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->outstandingSuites(), 0);
    EXPECT_EQ(host->liveHandles(), 0);
}

TEST(SequenceSetupFailures, AMissingRenderSuiteReleasesTheOnesBeforeIt) {
    auto host = instance();
    host->withholdSuite("AEGP Layer Mask Suite", 5);
    host->clearSuiteLog();
    EXPECT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), A_Err_MISSING_SUITE);
    const std::vector<std::string> expected = {
        "acquire AEGP PF Interface Suite 1", "acquire AEGP Layer Suite 11",
        "acquire AEGP Layer Mask Suite 5", "release AEGP Layer Suite 11",
        "release AEGP PF Interface Suite 1"};
    EXPECT_EQ(host->suiteLog(), expected);
    EXPECT_EQ(host->outstandingSuites(), 0);
    EXPECT_EQ(host->liveHandles(), 0);
    EXPECT_EQ(host->outData().sequence_data, nullptr);
}

// Each failure leaves the process-wide state consistent: after it, a sequence sets up and
// tears down normally and nothing is left with the host.
TEST(SequenceSetupFailures, EveryFailurePointLeavesNothingBehind) {
    struct Case {
        const char* what;
        std::function<void(headless::Host&)> arrange;
        PF_Err expected;
    };
    const Case cases[] = {
        {"no handle suite", [](headless::Host& h) { h.withholdSuite(kHandleSuite, 2); },
         A_Err_MISSING_SUITE},
        {"no utility suite", [](headless::Host& h) { h.withholdSuite("AEGP Utility Suite", 10); },
         A_Err_MISSING_SUITE},
        {"no sequence handle", [](headless::Host& h) { h.faults.failCall("host_new_handle", 1); },
         PF_Err_OUT_OF_MEMORY},
        {"record cannot be locked",
         [](headless::Host& h) { h.faults.failCall("host_lock_handle", 1); }, PF_Err_OUT_OF_MEMORY},
        {"no stream suite", [](headless::Host& h) { h.withholdSuite("AEGP Stream Suite", 7); },
         A_Err_MISSING_SUITE},
        // The headless host refuses a registration with its generic error, 1.
        {"registration refused",
         [](headless::Host& h) { h.faults.failCall("AEGP_RegisterWithAEGP", 1); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto host = instance();
        c.arrange(*host);
        EXPECT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), c.expected);
        EXPECT_EQ(host->outstandingSuites(), 0);
        EXPECT_EQ(host->liveHandles(), 0);
        EXPECT_EQ(host->sequenceHandle(), nullptr);

        auto fresh = instance();
        ASSERT_EQ(fresh->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
        EXPECT_TRUE(handlerAlive(*fresh)) << "the count was restored, so a handler is made";
        ASSERT_EQ(fresh->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
        EXPECT_EQ(fresh->outstandingSuites(), 0);
        EXPECT_EQ(fresh->liveHandles(), 0);
    }
}

TEST(MemoryManager, BlocksAreLockedHandlesWithTheHandleInFront) {
    auto host = zptest::newHost();
    AE_MemoryManager mm(host->basicSuite());
    EXPECT_EQ(host->outstandingSuite(kHandleSuite, 2), 1);

    void* zero = mm.allocate(0);
    EXPECT_EQ(host->lastHandleSize(), 8);
    EXPECT_EQ(host->liveHandles(), 1);
    EXPECT_EQ(host->lockedHandles(), 1);
    void* block = mm.allocate(1000);
    EXPECT_EQ(host->lastHandleSize(), 1008);
    std::memset(block, 0xEE, 1000);
    mm.release(block);
    EXPECT_EQ(host->liveHandles(), 1) << "exactly the block's handle went";
    mm.release(zero);
    mm.release(nullptr);
    EXPECT_EQ(host->liveHandles(), 0);
    EXPECT_EQ(host->lockedHandles(), 0);
}

TEST(MemoryManager, FailuresRaiseOutOfMemoryAndLeaveNothing) {
    auto host = zptest::newHost();
    AE_MemoryManager mm(host->basicSuite());
    host->faults.failCall("host_new_handle", 1);
    EXPECT_THROW(mm.allocate(64), std::bad_alloc);
    host->faults.failCall("host_lock_handle", 1);
    EXPECT_THROW(mm.allocate(64), std::bad_alloc);
    EXPECT_EQ(host->liveHandles(), 0) << "an unlockable handle is disposed of";
    const int64_t made = host->handlesMade();
    EXPECT_THROW(mm.allocate(INT32_MAX - 7), std::bad_alloc);
    EXPECT_THROW(mm.allocate(-1), std::bad_alloc);
    EXPECT_EQ(host->handlesMade(), made) << "sizes that would wrap never reach the host";
    EXPECT_NO_THROW(mm.release(mm.allocate(INT32_MAX - 8 - (1 << 30))));
}

TEST(MemoryManager, MissingHandleSuiteIsReported) {
    auto host = zptest::newHost();
    host->withholdSuite(kHandleSuite, 2);
    try {
        AE_MemoryManager mm(host->basicSuite());
        FAIL() << "expected a missing-suite error";
    } catch (const HostError& e) {
        EXPECT_EQ(e.code(), A_Err_MISSING_SUITE);
    }
    EXPECT_EQ(host->outstandingSuites(), 0);
}

} // namespace
