// Frames per second of a 1080p shot: twelve 1920x1080 8-bit frames of the demo photograph,
// enlarged and moved along a pixel per frame, with the demo's strokes stretched alike.
//
// BM_Shot1080p runs the command-line tool's own path (the job scheduler, and per frame reading,
// rendering through the shot's one instance, and writing PNG). BM_RenderThreads1080p renders
// the same frames from memory through one sequence on 1 and 2 render threads at once, as the
// host's multi-frame rendering does, and reports the peak memory the run added to the process
// (its resident high-water mark, reset before the run). BM_HeldPlate1080p renders a held plate
// (12 identical frames) on 2 threads and counts its propagations. Process start-up, which the
// tool pays once per run, is left out. The CPU column is the whole process's.
#include "cli/ImageIO.h"
#include "cli/Jobs.h"
#include "cli/Sequence.h"
#include "cli/Shot.h"
#include "cli/ShotInstance.h"
#include "effect/Command.h"
#include "headless/LayerMasks.h"
#include "headless/Scene.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

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

const ShotFolder& shotFolder() {
    static const ShotFolder shot;
    return shot;
}

// Ends the benchmark with the first frame that did not render.
void failOnUnrendered(const zpcli::JobsResult& result, benchmark::State& state) {
    for (const zpcli::FrameOutcome& r : result.outcomes) {
        if (r.status != zpcli::FrameOutcome::Status::Rendered) {
            state.SkipWithError(("frame " + std::to_string(r.frame) + ": " + r.reason).c_str());
            return;
        }
    }
}

void countFramesPerSecond(benchmark::State& state) {
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(kFrames * state.iterations()), benchmark::Counter::kIsRate);
}

// Whole runs of the shot on the wall clock, with the whole process's CPU time beside it.
// Each run takes one argument from `args`, or the arguments of one row of `rows`.
void shotRuns(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> args,
              int64_t iterations, std::initializer_list<std::vector<int64_t>> rows = {}) {
    for (const int64_t a : args)
        b->Arg(a);
    for (const std::vector<int64_t>& row : rows)
        b->Args(row);
    b->Unit(benchmark::kSecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(iterations);
}

void BM_Shot1080p(benchmark::State& state) {
    const ShotFolder& shot = shotFolder();
    zpcli::RenderOptions options;
    options.scene = shot.scene();
    options.input = shot.pattern("in");
    options.output = shot.pattern("out");
    std::vector<int> frames;
    for (int f = 1; f <= kFrames; ++f)
        frames.push_back(f);
    options.jobs = static_cast<int>(state.range(0));
    const bool overlapped = state.range(1) != 0;
    const auto quiet = [](const zpcli::FrameOutcome&) {};

    for (auto _ : state) {
        zpcli::ShotInstance instance(options.scene);
        // Without overlap: each frame read, rendered and written in turn, as one job did before.
        const auto result =
            overlapped
                ? zpcli::renderShot(options, frames, instance, omp_get_max_threads(), quiet)
                : zpcli::runJobs(
                      frames, options.jobs, omp_get_max_threads(), false,
                      [&](int f) { return zpcli::renderSequenceFrame(options, f, &instance); },
                      quiet);
        failOnUnrendered(result, state);
        if (state.error_occurred())
            return;
    }
    countFramesPerSecond(state);
    state.counters["cores"] = omp_get_max_threads();
}

// Arguments: frames rendered at once; whether one job's reading and writing overlap its
// neighbouring renders (the tool's path: 1) or not (0).
BENCHMARK(BM_Shot1080p)->Apply([](auto* b) {
    b->ArgNames({"jobs", "overlap"});
    shotRuns(b, {}, 2, {{1, 0}, {1, 1}, {2, 1}});
});

// The resident high-water mark of the process in bytes, and a reset of it (Linux 4.0 on).
double peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) * 1024.0;
    }
    return 0;
}
void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct Plates {
    explicit Plates(bool held) {
        const ShotFolder& shot = shotFolder();
        scene = shot.scene();
        for (int f = 1; f <= kFrames; ++f)
            worlds.push_back(zpcli::readPicture(shot.frame("in", held ? 1 : f), 0).world);
    }
    std::string scene;
    std::vector<std::unique_ptr<headless::HostWorld>> worlds;
};

// Renders the plates on `threads` render threads through one new sequence; returns the frames
// whose label map was propagated rather than found kept.
int renderThrough(const Plates& plates, int threads, benchmark::State& state) {
    zpcli::ShotInstance instance(plates.scene);
    std::vector<int> frames;
    for (int f = 0; f < kFrames; ++f)
        frames.push_back(f);
    zpcli::FrameRequest request;
    request.keepViews = false;
    std::atomic<int> propagated{0};
    const auto result = zpcli::runJobs(
        frames, threads, omp_get_max_threads(), false,
        [&](int f) {
            zpcli::FrameOutcome r;
            r.frame = f;
            try {
                const zpcli::Frame frame =
                    instance.render(*plates.worlds[static_cast<size_t>(f)], request, f);
                if (frame.capture->reused.empty() || !frame.capture->reused.front())
                    ++propagated;
                r.status = zpcli::FrameOutcome::Status::Rendered;
            } catch (const std::exception& e) {
                r.reason = e.what();
            }
            return r;
        },
        [](const zpcli::FrameOutcome&) {});
    failOnUnrendered(result, state);
    return propagated;
}

void BM_RenderThreads1080p(benchmark::State& state) {
    static const Plates plates(false);
    const int threads = static_cast<int>(state.range(0));
    double added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        resetPeakResident();
        const double base = peakResidentBytes();
        state.ResumeTiming();
        renderThrough(plates, threads, state);
        added = std::max(added, peakResidentBytes() - base);
    }
    countFramesPerSecond(state);
    state.counters["peak MB added"] = added / 1e6;
}

void BM_HeldPlate1080p(benchmark::State& state) {
    static const Plates plates(true);
    int propagated = 0;
    for (auto _ : state)
        propagated = renderThrough(plates, static_cast<int>(state.range(0)), state);
    countFramesPerSecond(state);
    state.counters["propagations"] = propagated;
}

// Argument: render threads.
BENCHMARK(BM_RenderThreads1080p)->Apply([](auto* b) { shotRuns(b, {1, 2}, 2); });
BENCHMARK(BM_HeldPlate1080p)->Apply([](auto* b) { shotRuns(b, {2}, 1); });

} // namespace
