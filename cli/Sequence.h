// One frame of a shot: its file names made from the render's names and the frame number, its
// input read, rendered and written, and what happened reported as an outcome rather than thrown,
// so a caller on any thread (the job scheduler, a binding) can carry on with the next frame.
#pragma once

#include "cli/Commands.h"
#include "cli/Frame.h"

#include <optional>
#include <string>
#include <vector>

namespace zpcli {

struct FrameOutcome {
    enum class Status { Rendered, Skipped, Failed };
    int frame = 0;
    Status status = Status::Failed;
    // The exit code the failure stands for: 2 for the input (missing or unreadable files, the
    // scene, writing the output), 1 when the plug-in answered with an error; 0 otherwise.
    int exitCode = 0;
    std::string reason;  // why the frame failed or was skipped
    std::string notes;   // conversion notes, for stderr
    std::string timings; // the stage timings when asked for, for stdout
    double ms = 0;       // reading, rendering and writing
};

// Checks a render's names against `frames` (empty for a still) before anything is rendered:
// tokens only with frames and frames only with tokens, an output token whenever several frames
// would otherwise overwrite one file, something (input or scene) that changes from frame to
// frame, an output format this tool writes, and a scene or input shared by every frame that can
// be read. Throws UsageError (headless::SceneError for a shared scene).
void checkSequence(const RenderOptions& options, const std::vector<int>& frames);

// Reads, renders and writes `frame` with the frame token of each name replaced by its number
// (names without a token serve every frame). With `skipExisting` an output file that exists is
// left alone and the frame skipped. Without `shot` each call sets up an instance of its own
// (a farm worker's frames); with it the frame renders through the shot's one instance. Either
// way calls may run on any thread, at the same time, and a frame's bytes don't depend on what
// else runs.
FrameOutcome renderSequenceFrame(const RenderOptions& options, int frame,
                                 ShotInstance* shot = nullptr) noexcept;

// renderSequenceFrame's steps, for a scheduler that reads, renders and writes different frames
// at once. A frame's steps run in turn, each on any thread; none throws. Each adds its time to
// `outcome.ms`; a step that fails or skips the frame ends it, and later steps leave it alone.
struct SequenceFrame {
    FrameOutcome outcome;
    bool ended = false;         // outcome is final
    std::optional<Still> still; // the frame's names, picture and render while it is going
};
SequenceFrame readSequenceFrame(const RenderOptions& options, int frame) noexcept;
void renderReadFrame(SequenceFrame& frame, ShotInstance* shot) noexcept;
void writeRenderedFrame(SequenceFrame& frame) noexcept; // ends the frame

} // namespace zpcli
