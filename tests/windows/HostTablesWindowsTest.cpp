// The Windows deliverables against whole host tables: a full session through the loader calls
// exactly the slots the effect is meant to, and a call into any other slot is caught.
#include "tests/support/HostSession.h"
#include "tests/windows/WindowsPlugin.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

using wintest::LoadedPlugin;

TEST(WindowsHostTables, AFullSessionThroughTheLoaderCallsExactlyTheDesignedSlots) {
    LoadedPlugin p;
    EXPECT_EQ(hostsession::runFullSession(p.host), PF_Err_NONE) << p.message();
    EXPECT_EQ(p.host.slotCalls(), hostsession::expectedSlots(true));
    EXPECT_TRUE(p.host.traps().empty());
    EXPECT_EQ(p.host.liveHandles(), 0);
    EXPECT_EQ(p.host.outstandingSuites(), 0);
    EXPECT_EQ(p.libraryModule(), nullptr);
}

// A plug-in that calls the stream suite's slot 2, where an older declaration put the stream
// value: in the host's table it asks for a stream's interpolations.
PF_Err strayCommand(const char*, PF_Cmd cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**,
                    PF_LayerDef*, void*) {
    if (cmd != PF_Cmd_SEQUENCE_SETUP)
        return PF_Err_NONE;
    const void* suite = nullptr;
    if (in_data->pica_basicP->AcquireSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, &suite))
        return A_Err_MISSING_SUITE;
    using Slot = A_Err (*)(AEGP_StreamRefH, A_long*);
    const Slot stray = static_cast<const Slot*>(suite)[2];
    A_long value = 0;
    const PF_Err err = stray(nullptr, &value);
    in_data->pica_basicP->ReleaseSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion2);
    return err;
}

TEST(WindowsHostTables, ACallIntoAnUnusedSlotIsCaughtAndFailsTheTest) {
    headless::Host host(headless::Plugin::fromCommand(strayCommand));
    PF_Err err = PF_Err_NONE;
    EXPECT_NONFATAL_FAILURE(err = host.send(PF_Cmd_SEQUENCE_SETUP),
                            "slot 2 of AEGP_StreamSuite2, which it must not use");
    EXPECT_NE(err, PF_Err_NONE);
    ASSERT_EQ(host.traps().size(), 1u);
    EXPECT_EQ(host.outstandingSuites(), 0);
}

} // namespace
