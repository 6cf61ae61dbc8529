// zonepainter: renders frames through the real plug-in in the headless host, and shows what
// the plug-in tells a host about itself.
#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/TempFile.h"
#include "headless/Scene.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <iostream>
#include <new>

int main(int argc, char** argv) {
    // Before anything can print: what libraries write to stderr becomes lines of ours.
    const zpcli::StderrRelay relay;
    CLI::App app{"Zonepainter command-line renderer: drives the plug-in through a headless host"};
    app.require_subcommand(1);
    std::string plugin;
    app.add_option("--plugin", plugin,
                   "effect library that info loads (default: next to this tool)");

    auto* info = app.add_subcommand("info", "print the about text and the parameter list");

    zpcli::RenderOptions ro;
    std::string downsample;
    std::string renderKind = "smart";
    std::string view = "image";
    std::string failHostCall;
    auto* render = app.add_subcommand("render", "render an image with a scene of masks and "
                                                "parameter values");
    render
        ->add_option("--scene", ro.scene,
                     "scene file (JSON; see docs/scene-format.md); may hold a frame token")
        ->required();
    render
        ->add_option("--input", ro.input,
                     "input image (PNG, TIFF, EXR, JPEG ...); a frame token (####, @@@@ or %04d) "
                     "names one file per frame")
        ->required();
    render
        ->add_option("--output", ro.output,
                     "output image (.png, .tif, .tiff, .exr, .jpg); a frame token names one "
                     "file per frame")
        ->required();
    render
        ->add_option("--depth", ro.depth,
                     "bits per channel of the host world (default: the "
                     "input file's)")
        ->check(CLI::IsMember({8, 16, 32}));
    render->add_option("--downsample", downsample,
                       "the input is the layer reduced by N/D (both axes) or N/D,N/D (x,y)");
    render->add_option("--render", renderKind, "host render command (default smart)")
        ->check(CLI::IsMember({"plain", "smart"}));
    render->add_option("--view", view, "what to write (default image)")
        ->check(CLI::IsMember({"image", "strokes", "labels", "weights"}));
    render->add_flag("--timings", ro.timings, "print the time each pipeline stage took");
    render
        ->add_option("--repeat", ro.repeat,
                     "render the frame N times in one sequence; from the second render on "
                     "the label map is reused (default 1)")
        ->check(CLI::Range(1, 1000));
    std::string progress = "auto";
    auto* frames = render->add_option("--frames", ro.frames,
                                      "frames of a shot: 1001-1100, 1-100x5 (every fifth), "
                                      "1,5,10-20");
    render->add_option("--jobs", ro.jobs, "frames rendered at once, sharing the cores (default 1)")
        ->check(CLI::Range(1, 256));
    render->add_flag("--skip-existing", ro.skipExisting,
                     "leave frames whose output file exists alone");
    auto* noOverwrite = render->add_flag("--no-overwrite", ro.noOverwrite,
                                         "refuse to replace an existing output (a shot: that "
                                         "frame fails); by default outputs are replaced");
    render->add_flag("--mkdir", ro.makeFolders, "make the output's folder when it is missing");
    render->add_option("--compression", ro.compression,
                       "output compression as OpenImageIO names it: zip:N, none, zips, piz, "
                       "dwaa:45, jpeg:90 ... (default: zip:1 for PNG, the library's otherwise)");
    render->add_option("--colorspace", ro.colorspace,
                       "colour space the input is stored in (and the output written in): "
                       "a name from $OCIO's config, or linear, sRGB, Rec709");
    render->add_option("--working-space", ro.workingSpace,
                       "colour space the effect works in; the input is converted to it and the "
                       "result back");
    render->add_flag("--fail-fast", ro.failFast,
                     "start no new frame once one has failed (frames running finish)");
    render
        ->add_option("--progress", progress,
                     "bar (default on a terminal), plain (one line per frame) or none")
        ->check(CLI::IsMember({"auto", "bar", "plain", "none"}));
    // Testing aid, left out of the help: the headless host fails the N-th call of a host
    // function, to see how the plug-in and the tool report it.
    render->add_option("--fail-host-call", failHostCall)->group("");

    std::string demoDir = "demo-output";
    auto* demo = app.add_subcommand("demo", "render the bundled example and its views");
    demo->add_option("--output", demoDir, "folder to write into (default ./demo-output)");

    noOverwrite->excludes("--skip-existing");

    zpcli::removeTempFilesOnInterrupt();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e); // --help
        // One line of ours, as every other message, instead of CLI11's own two.
        std::cerr << "zonepainter: " << zpcli::oneLine(e.what())
                  << " (zonepainter --help lists the options)\n";
        return 2;
    }
    try {
        if (info->parsed()) {
            const std::string lib = plugin.empty() ? zpcli::defaultPluginPath(argv[0]) : plugin;
            return zpcli::runInfo(lib, std::cout);
        }
        if (render->parsed()) {
            if (!downsample.empty())
                ro.downsample = zpcli::parseDownsample(downsample);
            ro.kind = renderKind == "plain" ? zpcli::RenderKind::Plain : zpcli::RenderKind::Smart;
            ro.view = *zpcli::viewNamed(view); // CLI::IsMember admitted only view names
            if (frames->count() > 0 && ro.frames.empty())
                throw zpcli::UsageError("--frames names no frames");
            ro.progress = zpcli::parseProgressMode(progress);
            if (ro.progress == zpcli::ProgressMode::Auto)
                ro.progress =
                    ::isatty(STDERR_FILENO) ? zpcli::ProgressMode::Bar : zpcli::ProgressMode::Plain;
            if (!failHostCall.empty()) {
                // NAME or NAME:N
                const size_t colon = failHostCall.rfind(':');
                ro.failHostCall = failHostCall.substr(0, colon);
                if (colon != std::string::npos) {
                    try {
                        ro.failHostCallNth = std::stoll(failHostCall.substr(colon + 1));
                    } catch (const std::exception&) {
                        throw zpcli::UsageError("--fail-host-call: expected NAME or NAME:N");
                    }
                }
            }
            return zpcli::runRender(ro, std::cout, std::cerr);
        }
        if (demo->parsed())
            return zpcli::runDemo(demoDir, std::cout, std::cerr);
    } catch (const zpcli::PluginError& e) {
        std::cerr << "zonepainter: " << zpcli::oneLine(e.what()) << "\n";
        return 1;
    } catch (const zpcli::UsageError& e) {
        std::cerr << "zonepainter: " << zpcli::oneLine(e.what()) << "\n";
        return 2;
    } catch (const headless::SceneError& e) {
        std::cerr << "zonepainter: scene error: " << zpcli::oneLine(e.what()) << "\n";
        return 2;
    } catch (const std::bad_alloc&) {
        std::cerr << "zonepainter: out of memory\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "zonepainter: " << zpcli::oneLine(e.what()) << "\n";
        return 2;
    }
    return 0;
}
