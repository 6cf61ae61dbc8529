// zonepainter._farm: the command line's per-frame code for the Dask farm (zonepainter/farm.py).
// A task renders one frame exactly as `zonepainter render` does (read, render, write under a
// temporary name, rename), so the farm's bytes are the command line's. Kept apart from
// zonepainter._native because it reads and writes image files: only the farm pays for loading
// OpenImageIO.
#include "cli/Commands.h"
#include "cli/FrameRange.h"
#include "cli/Progress.h"
#include "cli/Sequence.h"
#include "headless/Scene.h"

#include <omp.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

template <typename T> T field(const py::dict& d, const char* name, T fallback) {
    return d.contains(name) ? d[name].cast<T>() : fallback;
}

// The frame options as the command line's parser would have set them; a dict keeps the task's
// arguments plain data that pickles to any worker.
zpcli::RenderOptions optionsFrom(const py::dict& d) {
    zpcli::RenderOptions o;
    o.scene = field<std::string>(d, "scene", "");
    o.input = field<std::string>(d, "input", "");
    o.output = field<std::string>(d, "output", "");
    o.frames = field<std::string>(d, "frames", "");
    o.depth = field<int>(d, "depth", 0);
    if (o.depth != 0 && o.depth != 8 && o.depth != 16 && o.depth != 32)
        throw zpcli::UsageError("--depth must be 8, 16 or 32");
    const auto downsample = field<std::string>(d, "downsample", "");
    if (!downsample.empty())
        o.downsample = zpcli::parseDownsample(downsample);
    const auto kind = field<std::string>(d, "render", "smart");
    if (kind != "smart" && kind != "plain")
        throw zpcli::UsageError("--render " + kind + ": expected plain or smart");
    o.kind = kind == "plain" ? zpcli::RenderKind::Plain : zpcli::RenderKind::Smart;
    const auto view = field<std::string>(d, "view", "image");
    const std::optional<zpcli::View> named = zpcli::viewNamed(view);
    if (!named)
        throw zpcli::UsageError("--view " + view + ": expected image, strokes, labels or weights");
    o.view = *named;
    o.skipExisting = field<bool>(d, "skip_existing", false);
    o.noOverwrite = field<bool>(d, "no_overwrite", false);
    if (o.skipExisting && o.noOverwrite)
        throw zpcli::UsageError("--skip-existing and --no-overwrite exclude each other");
    o.makeFolders = field<bool>(d, "mkdir", false);
    o.compression = field<std::string>(d, "compression", "");
    o.colorspace = field<std::string>(d, "colorspace", "");
    o.workingSpace = field<std::string>(d, "working_space", "");
    return o;
}

const char* statusName(zpcli::FrameOutcome::Status s) {
    switch (s) {
    case zpcli::FrameOutcome::Status::Rendered:
        return "rendered";
    case zpcli::FrameOutcome::Status::Skipped:
        return "skipped";
    default:
        return "failed";
    }
}

// The command line's progress display on this process's stderr.
class FarmProgress {
public:
    FarmProgress(const std::string& mode, int total)
        : progress_(std::make_unique<zpcli::Progress>(zpcli::parseProgressMode(mode), total,
                                                      std::cerr)) {}
    void report(const py::dict& r) {
        const int frame = r["frame"].cast<int>();
        const auto status = r["status"].cast<std::string>();
        const auto notes = field<std::string>(r, "notes", "");
        if (!notes.empty())
            progress_->message(notes);
        if (status == "rendered")
            progress_->rendered(frame, r["ms"].cast<double>());
        else if (status == "skipped")
            progress_->skipped(frame, r["reason"].cast<std::string>());
        else
            progress_->failed(frame, r["reason"].cast<std::string>());
    }
    // A line of the run's own (a lost worker, frames retried), kept clear of the bar.
    void message(const std::string& text) { progress_->message(text); }
    void finish() { progress_->finish(); }

private:
    std::unique_ptr<zpcli::Progress> progress_;
};

} // namespace

PYBIND11_MODULE(_farm, m) {
    m.doc() = "The command line's per-frame code for the Dask farm (zonepainter.farm).";
    // Both kinds of refusal before anything renders read as the command line's messages.
    // Local, so that the in-process module's errors keep their own Python types.
    py::register_local_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const zpcli::UsageError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const headless::SceneError& e) {
            PyErr_SetString(PyExc_ValueError, (std::string("scene error: ") + e.what()).c_str());
        }
    });

    m.def(
        "sequence_frames",
        [](const py::dict& options) {
            const zpcli::RenderOptions o = optionsFrom(options);
            if (o.frames.empty())
                throw zpcli::UsageError("--frames is required: the farm renders shots, e.g. "
                                        "--frames 1001-1100");
            const std::vector<int> frames = zpcli::parseFrameRange(o.frames);
            zpcli::checkSequence(o, frames);
            return frames;
        },
        "options"_a,
        "The frames a run renders, after the command line's checks of names and frames. "
        "Raises ValueError with the command line's message.");

    m.def(
        "render_sequence_frame",
        [](const py::dict& options, int frame, int threads) {
            const zpcli::RenderOptions o = optionsFrom(options);
            zpcli::FrameOutcome r;
            {
                py::gil_scoped_release release;
                // The OpenMP thread count is the calling thread's own setting: a worker's
                // frames share its machine's cores with the frames of its other threads.
                if (threads > 0)
                    omp_set_num_threads(threads);
                r = zpcli::renderSequenceFrame(o, frame);
            }
            return py::dict("frame"_a = r.frame, "status"_a = statusName(r.status),
                            "exit_code"_a = r.exitCode, "reason"_a = r.reason, "notes"_a = r.notes,
                            "ms"_a = r.ms);
        },
        "options"_a, "frame"_a, "threads"_a = 0,
        "Reads, renders and writes one frame; never raises for the frame's own problems: the "
        "outcome says rendered, skipped or failed, with the reason and the exit code it stands "
        "for.");

    py::class_<FarmProgress>(m, "Progress")
        .def(py::init<const std::string&, int>(), "mode"_a, "total"_a)
        .def("report", &FarmProgress::report, "outcome"_a)
        .def("message", &FarmProgress::message, "text"_a)
        .def("finish", &FarmProgress::finish);
}
