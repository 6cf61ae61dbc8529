// The job scheduler of a sequence: frames handed out in order to a few threads, each rendering
// one frame at a time, with the machine's OpenMP threads shared among them.
#pragma once

#include "cli/Sequence.h"

#include <functional>
#include <vector>

namespace zpcli {

// OpenMP threads for job `job` (0-based) of `jobs` when the run may use `cores`: the cores
// split evenly, the first jobs taking one more each until the remainder is spent, and never
// fewer than one.
int threadBudget(int cores, int jobs, int job);

struct JobsResult {
    std::vector<FrameOutcome> outcomes; // the frames that ran, in frame order
    int notStarted = 0;                 // frames left alone after a failure with failFast
};

// Renders `frames` with `render` on min(jobs, frames) threads. Each thread first sets its own
// OpenMP thread count (a per-thread setting) to its threadBudget of `cores`. `report` hears each
// outcome as it comes, one at a time. With `failFast`, once a frame has failed no new frame
// starts; frames already running finish. `render` must not throw. `beforeClaim`, when given, is
// called on a job's thread each time it is about to take its next frame; tests hold a job there
// to force the interleavings a real run only meets by chance.
JobsResult runJobs(const std::vector<int>& frames, int jobs, int cores, bool failFast,
                   const std::function<FrameOutcome(int)>& render,
                   const std::function<void(const FrameOutcome&)>& report,
                   const std::function<void()>& beforeClaim = nullptr);

} // namespace zpcli
