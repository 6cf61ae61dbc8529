// A host that refuses to lock the sequence record at teardown: the render state behind the
// record must still go, whichever command gives the record up.
#include "tests/reliability/Scenario.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* what;
    PF_Cmd command;
};

TEST(SequenceLockRefused, TheRenderStateGoesWithTheRecord) {
    for (const Case c : {Case{"setdown", PF_Cmd_SEQUENCE_SETDOWN},
                         Case{"resetup of a live record", PF_Cmd_SEQUENCE_RESETUP},
                         Case{"flatten", PF_Cmd_SEQUENCE_FLATTEN}}) {
        SCOPED_TRACE(c.what);
        auto host = reliability::linkedHost();
        ASSERT_EQ(host->setupInstance(), PF_Err_NONE);
        ASSERT_EQ(reliability::holdings(*host).renderStates, 1);
        // Setup locked the record once; the command's own lock is the next one.
        host->faults.failCall("host_lock_handle", host->faults.calls("host_lock_handle") + 1);
        EXPECT_EQ(host->send(c.command), PF_Err_NONE);
        // Resetup builds a fresh state; the others leave none.
        EXPECT_EQ(reliability::holdings(*host).renderStates,
                  c.command == PF_Cmd_SEQUENCE_RESETUP ? 1 : 0);
        EXPECT_EQ(host->faults.injected(), 1);
        if (c.command == PF_Cmd_SEQUENCE_FLATTEN) {
            // The flattened record holds no state, so resetup has nothing left to destroy.
            ASSERT_NE(host->sequenceHandle(), nullptr);
            EXPECT_EQ(host->send(PF_Cmd_SEQUENCE_RESETUP), PF_Err_NONE);
        }
        EXPECT_EQ(host->teardownInstance(), PF_Err_NONE);
        EXPECT_TRUE(reliability::holdings(*host).empty())
            << reliability::holdings(*host).describe();
    }
}

} // namespace
