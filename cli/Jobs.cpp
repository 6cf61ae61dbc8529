#include "cli/Jobs.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace zpcli {

int threadBudget(int cores, int jobs, int job) {
    if (jobs < 1 || cores <= jobs)
        return 1;
    return cores / jobs + (job < cores % jobs ? 1 : 0);
}

namespace {

// The calling thread's OpenMP thread count (a per-thread setting), put back on every way out.
class CallersThreadCount {
public:
    CallersThreadCount() : before_(omp_get_max_threads()) {}
    ~CallersThreadCount() { omp_set_num_threads(before_); }
    CallersThreadCount(const CallersThreadCount&) = delete;
    CallersThreadCount& operator=(const CallersThreadCount&) = delete;

private:
    const int before_;
};

} // namespace

JobsResult runJobs(const std::vector<int>& frames, int jobs, int cores, bool failFast,
                   const std::function<FrameOutcome(int)>& render,
                   const std::function<void(const FrameOutcome&)>& report,
                   const std::function<void()>& beforeClaim) {
    const size_t count = frames.size();
    std::vector<FrameOutcome> outcomes(count);
    std::vector<char> ran(count, 0);
    // The next frame to hand out and, in the top bit, whether a failure stopped the run: one
    // word, so "no failure yet" and "this frame is mine" are decided in one step. Checked and
    // taken apart, a job could see no failure, then take a frame after the failure was recorded.
    constexpr uint64_t kStopped = uint64_t{1} << 63;
    std::atomic<uint64_t> next{0};
    std::mutex reporting;

    const auto claim = [&]() -> std::optional<size_t> {
        uint64_t seen = next.load();
        while ((seen & kStopped) == 0 && seen < count) {
            if (next.compare_exchange_weak(seen, seen + 1))
                return static_cast<size_t>(seen);
        }
        return std::nullopt;
    };

    const auto work = [&](int job, int workers) {
        omp_set_num_threads(threadBudget(cores, workers, job));
        for (;;) {
            if (beforeClaim)
                beforeClaim();
            const std::optional<size_t> i = claim();
            if (!i)
                break;
            FrameOutcome outcome = render(frames[*i]);
            const std::lock_guard<std::mutex> lock(reporting);
            // Stopped before the failure is reported: whoever hears of it sees no frame start.
            if (failFast && outcome.status == FrameOutcome::Status::Failed)
                next.fetch_or(kStopped);
            report(outcome);
            outcomes[*i] = std::move(outcome);
            ran[*i] = 1;
        }
    };

    const int workers = static_cast<int>(
        std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), std::max<size_t>(count, 1)));
    if (workers == 1) {
        // One job: the calling thread renders, with the thread count it had restored after.
        const CallersThreadCount restored;
        work(0, 1);
    } else {
        std::vector<std::jthread> threads;
        for (int job = 0; job < workers; ++job)
            threads.emplace_back(work, job, workers);
    }

    JobsResult result;
    for (size_t i = 0; i < count; ++i) {
        if (ran[i])
            result.outcomes.push_back(std::move(outcomes[i]));
        else
            ++result.notStarted;
    }
    return result;
}

JobsResult runOverlapped(const std::vector<int>& frames, int cores, bool failFast,
                         const FrameSteps& steps,
                         const std::function<void(const FrameOutcome&)>& report) {
    const CallersThreadCount restored;
    omp_set_num_threads(threadBudget(cores, 1, 0));
    JobsResult result;
    bool stopped = false;
    const auto finish = [&](SequenceFrame& f) {
        if (failFast && f.outcome.status == FrameOutcome::Status::Failed)
            stopped = true;
        report(f.outcome);
        result.outcomes.push_back(std::move(f.outcome));
    };
    // A thread where one can be had; where none can, libstdc++ runs the step when its result is
    // asked for, which is the plain one-frame-at-a-time order.
    constexpr auto launch = std::launch::async | std::launch::deferred;
    const auto readAhead = [&](size_t i) { return std::async(launch, steps.read, frames[i]); };
    const auto writeBehind = [&](SequenceFrame f) {
        return std::async(
            launch,
            [&steps](SequenceFrame g) {
                steps.write(g);
                return g;
            },
            std::move(f));
    };

    // The futures' destructors wait for their steps, so an exception leaves no step running
    // with references into this frame.
    std::future<SequenceFrame> reading;
    std::future<SequenceFrame> writing; // the previous frame
    const auto finishPrevious = [&] {
        if (writing.valid()) {
            SequenceFrame previous = writing.get();
            finish(previous);
        }
    };
    if (!frames.empty())
        reading = readAhead(0);
    for (size_t i = 0; i < frames.size() && !stopped; ++i) {
        SequenceFrame current = reading.get();
        const bool more = i + 1 < frames.size();
        if (!current.ended) {
            if (more)
                reading = readAhead(i + 1);
            steps.render(current);
        }
        if (current.ended) {
            // Skipped or failed: nothing to write; reported after the frame before it, and a
            // failure known before the next frame's render starts.
            finishPrevious();
            finish(current);
            if (more && !stopped && !reading.valid())
                reading = readAhead(i + 1);
            continue;
        }
        finishPrevious();
        writing = writeBehind(std::move(current));
    }
    finishPrevious();
    if (reading.valid())
        reading.wait(); // read ahead of a failure: dropped, not started
    result.notStarted = static_cast<int>(frames.size() - result.outcomes.size());
    return result;
}

} // namespace zpcli
