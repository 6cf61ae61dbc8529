// The job scheduler on its own, with a stand-in for the frame render: who renders what, with
// how many OpenMP threads, and where a failure stops it.
#include "cli/Jobs.h"

#include <omp.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

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

zpcli::SequenceFrame readAs(int frame) {
    zpcli::SequenceFrame f;
    f.outcome.frame = frame;
    return f;
}

void endAs(zpcli::SequenceFrame& f, FrameOutcome::Status status) {
    f.outcome.status = status;
    f.ended = true;
}

// One job: while frame N renders, frame N+1 is being read and frame N-1 written. Each render
// waits for both neighbours' steps to have started: a scheduler that runs the steps one after
// another times out there instead of hanging.
TEST(Jobs, OneJobReadsTheNextFrameAndWritesThePreviousWhileAFrameRenders) {
    const std::vector<int> frames = {1, 2, 3, 4, 5};
    std::mutex m;
    std::condition_variable changed;
    std::set<int> readsBegun, writesBegun;
    std::vector<int> overlapMissing;
    const auto caller = std::this_thread::get_id();
    std::vector<int> reported;
    zpcli::FrameSteps steps;
    steps.read = [&](int frame) {
        const std::lock_guard<std::mutex> lock(m);
        readsBegun.insert(frame);
        changed.notify_all();
        return readAs(frame);
    };
    steps.render = [&](zpcli::SequenceFrame& f) {
        const int n = f.outcome.frame;
        EXPECT_EQ(std::this_thread::get_id(), caller);
        std::unique_lock<std::mutex> lock(m);
        // After one miss the rest are not waited for: the test fails in seconds, not minutes.
        const auto wait =
            overlapMissing.empty() ? std::chrono::seconds(10) : std::chrono::seconds(0);
        const bool both = changed.wait_for(lock, wait, [&] {
            return (n == 5 || readsBegun.count(n + 1)) && (n == 1 || writesBegun.count(n - 1));
        });
        if (!both)
            overlapMissing.push_back(n);
    };
    steps.write = [&](zpcli::SequenceFrame& f) {
        {
            const std::lock_guard<std::mutex> lock(m);
            writesBegun.insert(f.outcome.frame);
            changed.notify_all();
        }
        endAs(f, FrameOutcome::Status::Rendered);
    };
    const auto result = zpcli::runOverlapped(frames, 2, false, steps, [&](const FrameOutcome& o) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        reported.push_back(o.frame);
    });
    EXPECT_EQ(overlapMissing, std::vector<int>{});
    EXPECT_EQ(reported, frames);
    EXPECT_EQ(framesOf(result), frames);
}

// Where a failure stops one overlapped job: failed on reading, no later frame renders; failed on
// writing, it is known only once the next frame has rendered, and that frame is still written.
TEST(Jobs, OneJobOverlappedStopsRenderingOnceAFailureIsKnown) {
    const std::vector<int> frames = {1, 2, 3, 4, 5, 6};
    for (const bool onWrite : {false, true}) {
        std::vector<int> rendered;
        zpcli::FrameSteps steps;
        steps.read = [&](int frame) {
            zpcli::SequenceFrame f = readAs(frame);
            if (!onWrite && frame == 3)
                endAs(f, FrameOutcome::Status::Failed);
            return f;
        };
        steps.render = [&](zpcli::SequenceFrame& f) { rendered.push_back(f.outcome.frame); };
        steps.write = [&](zpcli::SequenceFrame& f) {
            endAs(f, onWrite && f.outcome.frame == 3 ? FrameOutcome::Status::Failed
                                                     : FrameOutcome::Status::Rendered);
        };
        const auto quiet = [](const FrameOutcome&) {};
        const auto stopped = zpcli::runOverlapped(frames, 2, true, steps, quiet);
        const std::vector<int> ran =
            onWrite ? std::vector<int>{1, 2, 3, 4} : std::vector<int>{1, 2, 3};
        EXPECT_EQ(framesOf(stopped), ran) << "failed on writing: " << onWrite;
        EXPECT_EQ(stopped.notStarted, 6 - static_cast<int>(ran.size()));
        EXPECT_EQ(rendered, onWrite ? ran : (std::vector<int>{1, 2}));
        rendered.clear();
        EXPECT_EQ(framesOf(zpcli::runOverlapped(frames, 2, false, steps, quiet)), frames);
    }
}

} // namespace
