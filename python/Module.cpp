// zonepainter._native: the effect linked in process, driven by the command-line tool's frame
// code. The package's Python files (zonepainter/__init__.py) give it its public shape; this part
// checks arrays, converts pixels and errors, and lets go of the interpreter lock while the
// effect works.
#include "cli/Commands.h"
#include "cli/EffectDescription.h"
#include "effect/Command.h"
#include "headless/Scene.h"
#include "python/Arrays.h"
#include "python/Session.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

namespace py = pybind11;
using namespace pybind11::literals;

namespace {

// The exception classes live in Python (zonepainter/_errors.py), where they can be documented and
// pickled with their arguments. Sets the Python error the translator hands back.
void setError(const char* name, const py::tuple& args) {
    const py::object cls = py::module_::import("zonepainter._errors").attr(name);
    const py::object error = cls(*args);
    PyErr_SetObject(cls.ptr(), error.ptr());
}

zpcli::View viewOf(const std::string& name) {
    const std::optional<zpcli::View> view = zpcli::viewNamed(name);
    if (!view)
        throw py::value_error("view=\"" + name +
                              "\": expected \"image\", \"strokes\", \"labels\" or \"weights\"");
    return *view;
}

// A caller of the module passed an argument, not the command line's flag: the message names it.
zpcli::Downsample downsampleOf(const std::string& text) {
    if (text.empty())
        return {};
    try {
        return zpcli::parseDownsample(text, "downsample=\"" + text + "\"");
    } catch (const zpcli::UsageError& e) {
        throw py::value_error(e.what());
    }
}

// One declared control as a dict: what `zonepainter info` prints of it, and what a scene or an
// override may say about it.
py::dict describeParam(int index, const std::string& group, const headless::DeclaredParam& p) {
    const PF_ParamDef& d = p.def;
    py::dict entry("index"_a = index,
                   "group"_a = group.empty() ? py::object(py::none()) : py::object(py::str(group)),
                   "name"_a = std::string(d.name), "type"_a = zpcli::paramKindName(d.param_type),
                   "range"_a = py::none(), "default"_a = py::none(), "choices"_a = py::none());
    switch (d.param_type) {
    case PF_Param_FLOAT_SLIDER:
        entry["range"] = py::make_tuple(d.u.fs_d.valid_min, d.u.fs_d.valid_max);
        entry["default"] = d.u.fs_d.dephault;
        break;
    case PF_Param_COLOR:
        entry["default"] = headless::colorText(d.u.cd.dephault);
        break;
    case PF_Param_POPUP: {
        const std::vector<std::string> choices = headless::popupChoiceList(p.popupChoices);
        entry["choices"] = choices;
        const auto n = static_cast<size_t>(d.u.pd.dephault);
        if (n >= 1 && n <= choices.size())
            entry["default"] = choices[n - 1];
        break;
    }
    case PF_Param_CHECKBOX:
        entry["default"] = d.u.bd.dephault != 0;
        break;
    default:
        break;
    }
    return entry;
}

py::dict info() {
    zpcli::EffectDescription d;
    {
        py::gil_scoped_release nogil;
        d = zpcli::describeEffect(headless::Plugin::fromCommand(&command));
    }
    py::list params;
    std::vector<std::string> groups;
    for (size_t i = 0; i < d.params.size(); ++i) {
        const headless::DeclaredParam& p = d.params[i];
        switch (p.def.param_type) {
        case PF_Param_GROUP_START:
            groups.emplace_back(p.def.name);
            break;
        case PF_Param_GROUP_END:
            if (!groups.empty())
                groups.pop_back();
            break;
        default:
            params.append(describeParam(static_cast<int>(i) + 1,
                                        groups.empty() ? std::string() : groups.back(), p));
        }
    }
    return py::dict("about"_a = d.about, "params"_a = params);
}

py::array render(zppy::Session& session, const py::handle& image, const std::string& params,
                 int depth, const std::string& downsample, const std::string& view) {
    const zpcli::View v = viewOf(view);
    const zpcli::Downsample ds = downsampleOf(downsample);
    // The input is copied while the lock is held; nothing else may change it during the render.
    const zppy::ArrayPicture pic = zppy::worldFromArray(image, depth);
    std::unique_ptr<headless::HostWorld> out;
    {
        py::gil_scoped_release nogil;
        out = session.render(*pic.world, params, ds, v);
    }
    return zppy::arrayFromWorld(*out, pic.type, pic.channels);
}

py::object lastTimings(zppy::Session& session) {
    std::optional<zppy::Timings> t;
    {
        py::gil_scoped_release nogil;
        t = session.lastTimings();
    }
    if (!t)
        return py::none();
    py::dict stages;
    for (const auto& [stage, ms] : t->stages)
        stages[py::str(stage)] = ms;
    return py::dict("stages"_a = stages, "reused"_a = t->reused, "blend_reused"_a = t->blendReused);
}

} // namespace

PYBIND11_MODULE(_native, m) {
    m.doc() = "The Zonepainter effect in process (use the zonepainter package, not this module)";
    // The project's one version (CMakeLists.txt), which the package reports as __version__.
    m.attr("__version__") = ZP_VERSION;

    // Local to this module: pybind11 tries every module's global translators, latest first, so
    // with the farm's module loaded too its translator would claim this module's errors.
    py::register_local_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const headless::SceneError& e) {
            setError("SceneError", py::make_tuple(e.what()));
        } catch (const zpcli::PluginError& e) {
            setError("PluginError", py::make_tuple(e.what(), e.code));
        } catch (const zpcli::UsageError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });

    m.def("info", &info, "The effect's about text and its parameters");
    m.def("read_scene_file", &headless::readSceneFile, "path"_a,
          py::call_guard<py::gil_scoped_release>(),
          "The text of a scene file, read with the command line's limits and messages");

    py::class_<zppy::Session>(m, "Session")
        .def(py::init<const std::string&, const std::string&, const std::string&>(), "scene_text"_a,
             "source"_a, "fail_host_call"_a = "", py::call_guard<py::gil_scoped_release>())
        .def("set_scene", &zppy::Session::setScene, "scene_text"_a, "source"_a,
             py::call_guard<py::gil_scoped_release>())
        .def("render", &render, "image"_a, "params"_a, "depth"_a, "downsample"_a, "view"_a)
        .def("scene_json", &zppy::Session::sceneJson, py::call_guard<py::gil_scoped_release>())
        .def_property_readonly("last_timings", &lastTimings)
        .def("close", &zppy::Session::close, py::call_guard<py::gil_scoped_release>())
        .def_property_readonly("closed", &zppy::Session::closed,
                               py::call_guard<py::gil_scoped_release>());
}
