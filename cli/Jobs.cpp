#include "cli/Jobs.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

namespace zpcli {

int threadBudget(int cores, int jobs, int job) {
    if (jobs < 1 || cores <= jobs)
        return 1;
    return cores / jobs + (job < cores % jobs ? 1 : 0);
}

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
        const int before = omp_get_max_threads();
        work(0, 1);
        omp_set_num_threads(before);
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

} // namespace zpcli
