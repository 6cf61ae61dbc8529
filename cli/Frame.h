// One frame through the effect linked into the tool, in a headless host: set up an instance,
// apply a scene, render the input at its own depth, tear the instance down.
#pragma once

#include "cli/Commands.h"
#include "cli/ImageIO.h"
#include "cli/Views.h"
#include "headless/Host.h"
#include "headless/Worlds.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace zpcli {

struct FrameRequest {
    std::string scenePath;
    RenderKind kind = RenderKind::Smart;
    Downsample downsample;
    bool keepViews = false; // capture strokes, labels and weights as well as timings
    int repeat = 1;         // renders in the one sequence; the last one is the frame
    std::string failHostCall;
    int64_t failHostCallNth = 1;
};

struct Frame {
    std::unique_ptr<headless::HostWorld> output; // the input's size and depth
    std::unique_ptr<FrameCapture> capture;
};

// Renders `input` (read-only to the effect; the protocol takes it by reference). Throws
// headless::SceneError for a bad scene, PluginError when a command fails, UsageError for a
// plain render of a float world.
Frame renderFrame(headless::HostWorld& input, const FrameRequest& request);

// The renders of `request` (its kind, downsampling, repeats and views) through a host whose
// parameters, masks and faults are already the frame's: an instance's own host or a render-side
// host of a shot's instance. Throws as renderFrame does.
Frame renderOn(headless::Host& host, headless::HostWorld& input, const FrameRequest& request);

class ShotInstance;

// Renders one picture with names that hold no frame token: reads the input, renders and writes
// the output (or view), and prints the timings to `out` when asked; notes about forced
// conversions go to `err`. With `shot`, the picture is frame `time` of that shot and renders
// through its instance; otherwise through an instance of its own. Throws UsageError,
// PluginError or headless::SceneError.
void renderStill(const RenderOptions& options, std::ostream& out, std::ostream& err,
                 ShotInstance* shot = nullptr, A_long time = 0);

// renderStill's three steps, for callers that overlap one picture's reading and writing with
// another's render. Each may run on a thread of its own; a picture's steps run in turn.
struct Still {
    RenderOptions options; // names without a frame token
    Picture input;         // in the working colour space
    Frame rendered;        // empty until rendered
};
// Refuses what can be refused before reading (settings, the output's name and folder, writing
// over an input or an existing file with --no-overwrite), then reads the input and converts it
// to the working space.
Still readStill(const RenderOptions& options);
// Renders a read still as renderStill does; timings to `out` when asked.
void renderRead(Still& still, std::ostream& out, ShotInstance* shot, A_long time);
// Writes a rendered still (or its view) to its output, making its folder with --mkdir.
void writeRendered(Still& still, std::ostream& err);

// Sets up an instance and reads the scene at `path` into it, to refuse a bad scene before any
// frame is rendered. Throws headless::SceneError or PluginError.
void checkSceneFile(const std::string& path);

// Refuses, before any frame is read, settings that hold for every frame: the output's
// compression and the colour spaces. Throws UsageError.
void checkRenderSettings(const RenderOptions& options);

// One line per stage: name and milliseconds, the propagation marked when the label map was
// reused; with several renders each one's stages under a heading.
void printTimings(const FrameCapture& capture, std::ostream& out);

} // namespace zpcli
