// A shot's one effect instance, rendered as the host renders an effect that declares thread
// safety: the instance is set up once (with the shot's scene when every frame shares it), its
// sequence is copied for rendering (get-flattened, resetup), and every job renders its frames
// through that one render copy at once, each thread in a render-side host of its own that holds
// the frame's parameters and masks (its own scene when the scene changes from frame to frame).
// The frames share the effect's kept results, so a held stretch propagates once.
//
// Frames of different depths get a copy each, made on the first frame of that depth: the
// effect's sequence carries the blur's mode over from a float frame, and a frame's bytes must
// not depend on which frames of the shot came first.
#pragma once

#include "cli/Frame.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

namespace zpcli {

class ShotInstance {
public:
    // `sharedScene` is the scene every frame uses, empty when each frame names its own.
    explicit ShotInstance(std::string sharedScene);
    ~ShotInstance();
    ShotInstance(const ShotInstance&) = delete;
    ShotInstance& operator=(const ShotInstance&) = delete;

    // Renders `input` as frame `time` of the shot with `request` (its scene path is read only
    // when the shot has no shared scene). Any number of threads at once. Throws as renderFrame
    // does; a failed frame leaves the instance rendering the others. `request.failHostCall`
    // is counted from the start of the frame on its render-side host.
    Frame render(headless::HostWorld& input, const FrameRequest& request, A_long time);

private:
    struct Copy;
    Copy& copyFor(int bytesPerChannel);

    const std::string sharedScene_;
    std::mutex copiesMutex_; // guards making the copies, never held while a frame renders
    std::array<std::unique_ptr<Copy>, 3> copies_; // by depth: 8, 16, 32 bits
};

} // namespace zpcli
