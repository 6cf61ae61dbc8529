#include "effect/Command.h"
#include "effect/MemoryManager.h"
#include "headless/Host.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// The effect linked into this program, so that its bookkeeping lock is the one asked about.
std::unique_ptr<headless::Host> linkedHost() {
    auto host = std::make_unique<headless::Host>(headless::Plugin::fromCommand(&command));
    EXPECT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    return host;
}

// A threaded host may block a suite call until another render thread gets somewhere; if that
// thread waits for a lock the caller holds, both stop for good. Each host call the first
// sequence setup makes (handler suite, registration) asks, from a second thread, whether the
// effect's lock is free at that moment.
TEST(InstanceBinding, HostIsCalledWithoutTheLockHeld) {
    auto host = linkedHost();
    std::map<std::string, int> calls, heldDuring;
    host->faults.hook = [&](const std::string& fn, int64_t) {
        bool freeNow = false;
        std::thread probe([&] { freeNow = effect_globals::lockIsFree(); });
        probe.join();
        ++calls[fn];
        if (!freeNow)
            ++heldDuring[fn];
    };
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    host->faults.hook = nullptr;
    EXPECT_GT(calls["AcquireSuite"], 0);
    EXPECT_EQ(calls["AEGP_RegisterWithAEGP"], 1);
    EXPECT_TRUE(heldDuring.empty()) << "held during " << heldDuring.begin()->first;
    EXPECT_EQ(effect_globals::instanceCount(), 1);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(effect_globals::instanceCount(), 0);
    EXPECT_EQ(effect_globals::memoryHandler(), nullptr);
}

// A failed bring-up leaves nothing counted, and the next setup brings the handler up afresh.
TEST(InstanceBinding, RefusedRegistrationLeavesNothingCounted) {
    auto host = linkedHost();
    host->faults.failCall("AEGP_RegisterWithAEGP", 1);
    EXPECT_NE(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    EXPECT_EQ(effect_globals::instanceCount(), 0);
    EXPECT_EQ(effect_globals::memoryHandler(), nullptr);
    EXPECT_EQ(host->outstandingSuites(), 0);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    EXPECT_EQ(effect_globals::instanceCount(), 1);
    EXPECT_NE(effect_globals::memoryHandler(), nullptr);
    ASSERT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(effect_globals::instanceCount(), 0);
    EXPECT_EQ(host->outstandingSuites(), 0);
}

// Setups and setdowns racing on several threads, each through its own host: every setup
// succeeds and the count comes back to nothing with the handler gone (a lost update or a
// handler dropped while another thread counted on it shows here, or under ThreadSanitizer).
TEST(InstanceBinding, RacingSetupsAndSetdownsKeepTheCount) {
    constexpr int kThreads = 4, kRounds = 25;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures, t] {
            auto host = linkedHost();
            for (int r = 0; r < kRounds; ++r) {
                if (host->send(PF_Cmd_SEQUENCE_SETUP) != PF_Err_NONE ||
                    effect_globals::memoryHandler() == nullptr ||
                    host->send(PF_Cmd_SEQUENCE_SETDOWN) != PF_Err_NONE)
                    ++failures[static_cast<size_t>(t)];
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[static_cast<size_t>(t)], 0) << "thread " << t;
    EXPECT_EQ(effect_globals::instanceCount(), 0);
    EXPECT_EQ(effect_globals::memoryHandler(), nullptr);
}

} // namespace
