// The command-line tool's subcommands, each returning the process exit code: 0 success,
// 1 the plug-in reported an error, 2 bad input (files, scene, options).
#pragma once

#include "cli/Progress.h"
#include "host/HostApi.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

namespace zpcli {

// A problem with the user's input: reported on stderr, exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The plug-in answered a command with an error: reported on stderr with its code, exit code 1.
struct PluginError : std::runtime_error {
    PluginError(PF_Err err, const std::string& during);
    PF_Err code;
};

// The host's downsampling factors: the input image is the layer reduced by numX/denX across
// and numY/denY down (each factor in 0..1].
struct Downsample {
    int32_t numX = 1, denX = 1;
    int32_t numY = 1, denY = 1;
};

// Parses "N[/D]" (both axes) or "N[/D],N[/D]" (x, then y). N and D are whole numbers from 1
// to 1000 with N <= D. Throws UsageError, its message starting with `given` (how the caller
// was handed the text; empty: "--downsample TEXT").
Downsample parseDownsample(const std::string& text, const std::string& given = {});

// The full-resolution height of a layer handed over `height` rows tall at `ds`: height / factor
// y, rounded to nearest.
int32_t fullResolutionHeight(int32_t height, const Downsample& ds);

enum class RenderKind { Plain, Smart };

// Why a plain render of a float world is refused.
inline constexpr const char* kPlainFloatMessage =
    "the plain render takes 8- or 16-bit images; use the smart render or --depth 8 or 16";
enum class View { Image, Strokes, Labels, Weights };
// The view named "image", "strokes", "labels" or "weights"; nothing for any other name (each
// caller words its own refusal).
std::optional<View> viewNamed(const std::string& name);

// One picture, or a shot: the names may hold a frame token (cli/FramePattern.h), and then
// `frames` says which frames to render.
struct RenderOptions {
    std::string scene;
    std::string input;
    std::string output;
    int depth = 0; // 8, 16 or 32; 0 follows the input file
    Downsample downsample;
    RenderKind kind = RenderKind::Smart;
    View view = View::Image;
    bool timings = false;
    // Renders of the frame, one after the other in one sequence (1..1000): from the second on
    // the effect reuses the first's label map, as it does while a slider is dragged.
    int repeat = 1;
    // Testing aid: the headless host fails the nth call of this host function (empty: none).
    std::string failHostCall;
    int64_t failHostCallNth = 1;
    bool skipExisting = false; // leave frames whose output file exists alone
    bool noOverwrite = false;  // refuse (fail the frame) rather than replace an existing output
    bool makeFolders = false;  // make the output's missing folders instead of refusing
    // OpenImageIO's "compression" attribute for the output ("zip:6", "none", "piz", "dwaa:45");
    // empty for the tool's choice per format (cli/ImageIO.h).
    std::string compression;
    // Colour spaces (OpenColorIO's, from $OCIO, or OpenImageIO's built-in ones): the input is
    // converted from `colorspace` to `workingSpace` before the effect and back after it. Either
    // empty: no conversion.
    std::string colorspace;
    std::string workingSpace;

    // A shot: the frames ("1001-1100", cli/FrameRange.h; empty for one picture), frames
    // rendered at once, whether the first failure stops new frames from starting, and what is
    // said on stderr while it runs (Auto is resolved by the caller, who knows the terminal).
    std::string frames;
    int jobs = 1;
    bool failFast = false;
    ProgressMode progress = ProgressMode::Plain;
};

std::string defaultPluginPath(const char* argv0);
int runInfo(const std::string& pluginPath, std::ostream& out);
// Renders one picture or a shot; notes about forced conversions, progress and failed frames go
// to `err`, timings to `out`. A shot's failed frames make the exit code 1 when any of them was
// the plug-in's error, 2 otherwise.
int runRender(const RenderOptions& options, std::ostream& out, std::ostream& err);
// Renders the bundled example into `outputDir` (made if missing): the result and the three
// views.
int runDemo(const std::string& outputDir, std::ostream& out, std::ostream& err);

} // namespace zpcli
