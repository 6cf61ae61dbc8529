// The job scheduler on its own, with a stand-in for the frame render: who renders what, with
// how many OpenMP threads, and where a failure stops it.
#include "cli/Jobs.h"

#include <omp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace {

using zpcli::FrameOutcome;

std::vector<int> framesOf(const zpcli::JobsResult& r) {
    std::vector<int> frames;
    for (const FrameOutcome& o : r.outcomes)
        frames.push_back(o.frame);
    return frames;
}

TEST(Jobs, ThreadBudgetSharesTheCores) {
    const std::vector<std::pair<std::array<int, 2>, std::vector<int>>> cases = {
        {{8, 1}, {8}},          {{2, 2}, {1, 1}}, {{7, 3}, {3, 2, 2}},
        {{2, 4}, {1, 1, 1, 1}}, {{5, 2}, {3, 2}}, {{1, 1}, {1}},
    };
    for (const auto& [coresJobs, budgets] : cases) {
        std::vector<int> got;
        for (int job = 0; job < coresJobs[1]; ++job)
            got.push_back(zpcli::threadBudget(coresJobs[0], coresJobs[1], job));
        EXPECT_EQ(got, budgets) << coresJobs[0] << " cores, " << coresJobs[1] << " jobs";
    }
}

TEST(Jobs, EveryFrameRunsOnceWithItsJobsThreadCount) {
    std::vector<int> frames;
    for (int f = 1001; f <= 1020; ++f)
        frames.push_back(f);
    std::mutex m;
    std::condition_variable arrived;
    int waiting = 0;
    std::set<int> budgetsSeen;
    std::multiset<int> rendered;
    std::vector<int> reported;
    const auto result = zpcli::runJobs(
        frames, 2, 5, false,
        [&](int frame) {
            std::unique_lock<std::mutex> lock(m);
            // The first two frames wait for each other, so each job renders at least one (a
            // scheduler that runs one frame at a time fails here rather than hanging).
            if (frame <= 1002) {
                ++waiting;
                arrived.notify_all();
                EXPECT_TRUE(arrived.wait_for(lock, std::chrono::seconds(20), [&] {
                    return waiting == 2;
                })) << "frames 1001 and 1002 never ran at the same time";
            }
            budgetsSeen.insert(omp_get_max_threads());
            rendered.insert(frame);
            FrameOutcome o;
            o.frame = frame;
            o.status = FrameOutcome::Status::Rendered;
            return o;
        },
        [&](const FrameOutcome& o) { reported.push_back(o.frame); });
    EXPECT_EQ(budgetsSeen, (std::set<int>{3, 2}));
    EXPECT_EQ(rendered, std::multiset<int>(frames.begin(), frames.end()));
    EXPECT_EQ(std::multiset<int>(reported.begin(), reported.end()), rendered);
    EXPECT_EQ(framesOf(result), frames);
    EXPECT_EQ(result.notStarted, 0);
}

TEST(Jobs, FailFastStartsNoFrameAfterAFailure) {
    const std::vector<int> frames = {1, 2, 3, 4, 5, 6};
    const auto render = [](int frame) {
        FrameOutcome o;
        o.frame = frame;
        o.status = frame == 3 ? FrameOutcome::Status::Failed : FrameOutcome::Status::Rendered;
        return o;
    };
    const auto quiet = [](const FrameOutcome&) {};
    const auto stopped = zpcli::runJobs(frames, 1, 2, true, render, quiet);
    EXPECT_EQ(framesOf(stopped), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(stopped.notStarted, 3);
    const auto carriedOn = zpcli::runJobs(frames, 1, 2, false, render, quiet);
    EXPECT_EQ(framesOf(carriedOn), frames);
}

// Two jobs: frame 1 fails, but only once the other job has rendered frame 2 and stands ready to
// take its next frame. Held there until the failure is recorded, that job must take nothing:
// deciding "no failure yet" and taking a frame have to be one step.
TEST(Jobs, FailFastStartsNoFrameOnceTheFailureIsRecordedWhateverAJobSawBefore) {
    const std::vector<int> frames = {1, 2, 3, 4, 5, 6};
    std::mutex m;
    std::condition_variable changed;
    bool otherJobReady = false;
    bool failureRecorded = false;
    std::vector<int> startedAfterFailure;
    const auto render = [&](int frame) {
        std::unique_lock<std::mutex> lock(m);
        if (failureRecorded)
            startedAfterFailure.push_back(frame);
        FrameOutcome o;
        o.frame = frame;
        o.status = FrameOutcome::Status::Rendered;
        if (frame == 1) {
            changed.wait(lock, [&] { return otherJobReady; });
            o.status = FrameOutcome::Status::Failed;
        }
        return o;
    };
    const auto report = [&](const FrameOutcome& o) {
        if (o.status != FrameOutcome::Status::Failed)
            return;
        const std::lock_guard<std::mutex> lock(m);
        failureRecorded = true;
        changed.notify_all();
    };
    const auto beforeClaim = [&] {
        // A job's first frame is taken freely; the job that rendered frame 2 (frame 1's job is
        // held in its render) waits at its next claim until the failure is on record.
        thread_local int claims = 0;
        if (++claims == 1)
            return;
        std::unique_lock<std::mutex> lock(m);
        otherJobReady = true;
        changed.notify_all();
        changed.wait(lock, [&] { return failureRecorded; });
    };
    const auto result = zpcli::runJobs(frames, 2, 2, true, render, report, beforeClaim);
    EXPECT_EQ(startedAfterFailure, std::vector<int>{});
    EXPECT_EQ(framesOf(result), (std::vector<int>{1, 2}));
    EXPECT_EQ(result.notStarted, 4);
}

} // namespace
