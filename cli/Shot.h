// A shot's frames as `zonepainter render --frames` renders them: through the shot's one
// instance, on several jobs side by side, or on one job with the neighbouring frames' reading
// and writing beside its renders.
#pragma once

#include "cli/Jobs.h"
#include "cli/ShotInstance.h"

#include <functional>
#include <vector>

namespace zpcli {

// Renders `frames` of `options` (names with frame tokens, checked by checkSequence) through
// `shot` on `options.jobs` jobs sharing `cores` OpenMP threads. `report` hears each outcome as
// it comes, one at a time.
JobsResult renderShot(const RenderOptions& options, const std::vector<int>& frames,
                      ShotInstance& shot, int cores,
                      const std::function<void(const FrameOutcome&)>& report);

} // namespace zpcli
