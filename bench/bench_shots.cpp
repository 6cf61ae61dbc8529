// Frames per second of a shot through the command-line tool's own path (the job scheduler and
// the per-frame read, render and write): twelve 1920x1080 8-bit PNG frames of the demo
// photograph, enlarged and moved along a pixel per frame, with the demo's strokes stretched
// alike, rendered one at a time and two at a time. Process start-up, which the tool pays once
// per run, is left out. The CPU column is the whole process's: near twice the real time when
// both cores were free for the two-at-a-time run.
#include "cli/Jobs.h"
#include "cli/Sequence.h"
#include "effect/Command.h"
#include "headless/LayerMasks.h"
#include "headless/Scene.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 12;

// The shot's files in a scratch folder, made on first use and removed at exit.
class ShotFolder {
public:
    ShotFolder() {
        std::string tmpl = (fs::temp_directory_path() / "zp-bench-shots-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        dir_ = tmpl;
        const std::string examples = std::string(ZP_SOURCE_DIR) + "/examples/";

        OIIO::ImageBuf demo(examples + "astronaut.png");
        const OIIO::ImageBuf big =
            OIIO::ImageBufAlgo::resize(demo, "", 0, OIIO::ROI(0, kWidth, 0, kHeight, 0, 1, 0, 4));
        for (int f = 1; f <= kFrames; ++f) {
            const OIIO::ImageBuf moved = OIIO::ImageBufAlgo::circular_shift(big, f, 0);
            if (!moved.write(frame("in", f)))
                throw std::runtime_error("cannot write " + frame("in", f));
        }

        headless::Host host(headless::Plugin::fromCommand(&command));
        if (host.setupInstance() != PF_Err_NONE)
            throw std::runtime_error("setup failed");
        headless::loadSceneFile(examples + "demo-scene.json", host);
        // The strokes are drawn on the 512x512 photograph; stretch them with it.
        for (headless::HostMask& m : host.extension<headless::LayerMasks>().masks) {
            for (AEGP_MaskVertex& v : m.vertices) {
                v.x *= kWidth / 512.0;
                v.y *= kHeight / 512.0;
            }
        }
        std::ofstream(scene()) << headless::sceneToJson(host);
        host.teardownInstance();
    }
    ~ShotFolder() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    ShotFolder(const ShotFolder&) = delete;
    ShotFolder& operator=(const ShotFolder&) = delete;

    std::string frame(const char* stem, int f) const {
        char name[32];
        std::snprintf(name, sizeof name, "%s.%04d.png", stem, f);
        return (dir_ / name).string();
    }
    std::string pattern(const char* stem) const {
        return (dir_ / (std::string(stem) + ".####.png")).string();
    }
    std::string scene() const { return (dir_ / "scene.json").string(); }

private:
    fs::path dir_;
};

void BM_Shot1080p(benchmark::State& state) {
    static const ShotFolder shot;
    zpcli::RenderOptions options;
    options.scene = shot.scene();
    options.input = shot.pattern("in");
    options.output = shot.pattern("out");
    std::vector<int> frames;
    for (int f = 1; f <= kFrames; ++f)
        frames.push_back(f);
    const int jobs = static_cast<int>(state.range(0));

    for (auto _ : state) {
        const auto result = zpcli::runJobs(
            frames, jobs, omp_get_max_threads(), false,
            [&](int f) { return zpcli::renderSequenceFrame(options, f); },
            [](const zpcli::FrameOutcome&) {});
        for (const zpcli::FrameOutcome& r : result.outcomes) {
            if (r.status != zpcli::FrameOutcome::Status::Rendered) {
                state.SkipWithError(("frame " + std::to_string(r.frame) + ": " + r.reason).c_str());
                return;
            }
        }
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(kFrames * state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cores"] = omp_get_max_threads();
}

// Argument: frames rendered at once.
BENCHMARK(BM_Shot1080p)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(2);

} // namespace
