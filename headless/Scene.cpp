#include "headless/Scene.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

namespace headless {

namespace {

// Document order is kept so that the first problem reported is the first one in the file, and
// so that written scenes list groups as the effect declares them.
using Json = nlohmann::ordered_json;

// --- messages ----------------------------------------------------------------------------------

// One JSON Pointer token: "~" and "/" are escaped so that "Diffusion/Glow" stays one token.
std::string pointerToken(const std::string& key) {
    std::string out;
    for (char c : key) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

std::string child(const std::string& pointer, const std::string& key) {
    return pointer + "/" + pointerToken(key);
}
std::string child(const std::string& pointer, size_t index) {
    return pointer + "/" + std::to_string(index);
}

// A value as the user wrote it, cut short so that a stray megabyte string stays readable.
std::string shown(const Json& v) {
    std::string s = v.dump();
    if (s.size() > 60)
        s = s.substr(0, 57) + "...";
    return s;
}

std::string quoted(const std::string& s) {
    return Json(s).dump();
}

// Range ends are written out in full: "-10000000", not "-1e+07".
std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string typeName(const Json& v) {
    if (v.is_number())
        return "a number";
    if (v.is_boolean())
        return "a boolean";
    if (v.is_string())
        return "a string";
    if (v.is_array())
        return "an array";
    if (v.is_object())
        return "an object";
    if (v.is_null())
        return "null";
    return v.type_name();
}

std::string listed(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += i + 1 == names.size() ? " or " : ", ";
        out += quoted(names[i]);
    }
    return out;
}

// The parser's own text quotes the bytes it last read, which may be anything: control and
// non-ASCII bytes are shown as \xNN so that the message stays printable.
std::string printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

// --- reading values ----------------------------------------------------------------------------

class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const std::string& pointer, const std::string& problem) const {
        throw SceneError(source_ + ": " + (pointer.empty() ? std::string("(top level)") : pointer) +
                         ": " + problem);
    }

    // Every key of an object must be one of `allowed`.
    void object(const Json& v, const std::string& pointer, const std::vector<std::string>& allowed,
                const std::string& what) const {
        if (!v.is_object())
            fail(pointer, "expected " + what + " (an object), got " + typeName(v));
        for (const auto& [key, value] : v.items()) {
            bool known = false;
            for (const auto& a : allowed)
                known = known || a == key;
            if (!known)
                fail(child(pointer, key),
                     "unknown key in " + what + "; expected " + listed(allowed));
        }
    }

    double finite(const Json& v, const std::string& pointer) const {
        if (!v.is_number())
            fail(pointer, "expected a number, got " + typeName(v));
        const double d = v.get<double>();
        if (!std::isfinite(d))
            fail(pointer, shown(v) + " is not a finite number");
        return d;
    }

    double within(const Json& v, const std::string& pointer, double lo, double hi) const {
        const double d = finite(v, pointer);
        if (!(d >= lo && d <= hi))
            fail(pointer, shown(v) + " is outside " + number(lo) + ".." + number(hi));
        return d;
    }

    // A whole number in lo..hi; 3.0 counts as whole, 3.5 does not.
    long long integer(const Json& v, const std::string& pointer, long long lo, long long hi) const {
        const double d = finite(v, pointer);
        if (d != std::floor(d))
            fail(pointer, shown(v) + " is not a whole number");
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi))
            fail(pointer,
                 shown(v) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
        return static_cast<long long>(d);
    }

    bool boolean(const Json& v, const std::string& pointer) const {
        if (!v.is_boolean())
            fail(pointer, "expected true or false, got " + typeName(v));
        return v.get<bool>();
    }

    const std::string& string(const Json& v, const std::string& pointer) const {
        if (!v.is_string())
            fail(pointer, "expected a string, got " + typeName(v));
        return v.get_ref<const std::string&>();
    }

private:
    std::string source_;
};

// "#" followed by exactly `digits` hex digits, as bytes; nothing when it isn't.
std::optional<std::vector<uint8_t>> hexBytes(const std::string& s, size_t digits) {
    if (s.size() != digits + 1 || s[0] != '#')
        return std::nullopt;
    std::vector<uint8_t> out;
    for (size_t i = 1; i < s.size(); i += 2) {
        int byte = 0;
        for (size_t j = i; j < i + 2; ++j) {
            const char c = s[j];
            int nibble;
            if (c >= '0' && c <= '9')
                nibble = c - '0';
            else if (c >= 'a' && c <= 'f')
                nibble = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                nibble = c - 'A' + 10;
            else
                return std::nullopt;
            byte = byte * 16 + nibble;
        }
        out.push_back(static_cast<uint8_t>(byte));
    }
    return out;
}

// --- the parameter list as the host declared it -----------------------------------------------

bool holdsValue(PF_ParamType t) {
    return t == PF_Param_CHECKBOX || t == PF_Param_COLOR || t == PF_Param_POPUP ||
           t == PF_Param_FLOAT_SLIDER || t == PF_Param_PATH;
}

struct Control {
    int index;              // parameter index (declaration position + 1)
    const DeclaredParam* d; // its declaration
};

// Controls by group name ("" for those outside any group), each group's controls by name, and
// the group names in declaration order.
struct Layout {
    std::map<std::string, std::map<std::string, Control>> groups;
    std::vector<std::string> groupOrder;
    std::vector<std::string> topLevelOrder;
    std::map<std::string, std::vector<std::string>> controlOrder;
};

Layout layoutOf(const Host& host) {
    Layout l;
    std::string current;
    const auto& declared = host.declared();
    for (size_t i = 0; i < declared.size(); ++i) {
        const PF_ParamDef& def = declared[i].def;
        if (def.param_type == PF_Param_GROUP_START) {
            current = def.name;
            if (l.groups.emplace(current, std::map<std::string, Control>{}).second)
                l.groupOrder.push_back(current);
            continue;
        }
        if (def.param_type == PF_Param_GROUP_END) {
            current.clear();
            continue;
        }
        if (!holdsValue(def.param_type) || def.name[0] == '\0')
            continue;
        auto& controls = l.groups[current];
        if (controls.emplace(def.name, Control{static_cast<int>(i) + 1, &declared[i]}).second) {
            l.controlOrder[current].push_back(def.name);
            if (current.empty())
                l.topLevelOrder.push_back(def.name);
        }
    }
    return l;
}

// --- masks ---------------------------------------------------------------------------------------

const std::vector<std::string> kSceneKeys = {"masks", "params"};
const std::vector<std::string> kMaskKeys = {"name",      "color",  "mode",    "opacity",
                                            "expansion", "closed", "vertices"};
const std::vector<std::string> kVertexKeys = {"x", "y", "in", "out"};

void readTangent(const Reader& r, const Json& v, const std::string& pointer, double& dx,
                 double& dy) {
    if (!v.is_array() || v.size() != 2)
        r.fail(pointer, "expected an offset [dx, dy], got " + shown(v));
    dx = r.within(v[0], child(pointer, size_t{0}), -kSceneMaxCoordinate, kSceneMaxCoordinate);
    dy = r.within(v[1], child(pointer, size_t{1}), -kSceneMaxCoordinate, kSceneMaxCoordinate);
}

HostMask readMask(const Reader& r, const Json& v, const std::string& pointer, size_t position) {
    r.object(v, pointer, kMaskKeys, "a mask");
    HostMask m;
    m.name = "Mask " + std::to_string(position + 1); // the host's own naming of new masks
    if (v.contains("name")) {
        const std::string p = child(pointer, "name");
        m.name = r.string(v["name"], p);
        // The host copies names into a fixed buffer: a longer name would reach the effect cut
        // short, and an embedded NUL would end it early, so such a name could never be picked.
        if (m.name.size() > static_cast<size_t>(kSceneMaxMaskNameBytes))
            r.fail(p, "mask name " + shown(v["name"]) + " is " + std::to_string(m.name.size()) +
                          " bytes long; at most " + std::to_string(kSceneMaxMaskNameBytes) +
                          " fit");
        if (m.name.find('\0') != std::string::npos)
            r.fail(p, "a mask name can't hold a NUL");
    }
    if (v.contains("color")) {
        const std::string p = child(pointer, "color");
        const Json& c = v["color"];
        if (c.is_string()) {
            const auto bytes = hexBytes(c.get_ref<const std::string&>(), 6);
            if (!bytes)
                r.fail(p, shown(c) + " is not a mask colour; expected \"#rrggbb\" or [r, g, b] "
                                     "with components 0..1");
            m.red = (*bytes)[0] / 255.0;
            m.green = (*bytes)[1] / 255.0;
            m.blue = (*bytes)[2] / 255.0;
        } else if (c.is_array() && c.size() == 3) {
            m.red = r.within(c[0], child(p, size_t{0}), 0.0, 1.0);
            m.green = r.within(c[1], child(p, size_t{1}), 0.0, 1.0);
            m.blue = r.within(c[2], child(p, size_t{2}), 0.0, 1.0);
        } else {
            r.fail(p, shown(c) + " is not a mask colour; expected \"#rrggbb\" or [r, g, b] with "
                                 "components 0..1");
        }
        m.alpha = 1.0;
    }
    if (v.contains("mode"))
        m.mode =
            static_cast<int>(r.integer(v["mode"], child(pointer, "mode"), 0, kSceneMaxMaskMode));
    if (v.contains("opacity"))
        m.opacity = r.within(v["opacity"], child(pointer, "opacity"), 0, 100);
    if (v.contains("expansion"))
        m.expansion = r.within(v["expansion"], child(pointer, "expansion"), -kSceneMaxExpansion,
                               kSceneMaxExpansion);
    if (v.contains("closed"))
        m.closed = r.boolean(v["closed"], child(pointer, "closed"));

    const std::string vp = child(pointer, "vertices");
    if (!v.contains("vertices"))
        r.fail(vp, "a mask needs its vertices");
    const Json& vs = v["vertices"];
    if (!vs.is_array())
        r.fail(vp, "expected an array of vertices, got " + typeName(vs));
    // The host would report an outline without points as a failed query, which ends the
    // effect's reading of every later mask too.
    if (vs.empty())
        r.fail(vp, "a mask needs at least one vertex");
    for (size_t i = 0; i < vs.size(); ++i) {
        const std::string p = child(vp, i);
        const Json& vx = vs[i];
        r.object(vx, p, kVertexKeys, "a vertex");
        AEGP_MaskVertex out{};
        for (const char* axis : {"x", "y"}) {
            if (!vx.contains(axis))
                r.fail(child(p, axis), "a vertex needs x and y");
        }
        out.x = r.within(vx["x"], child(p, "x"), -kSceneMaxCoordinate, kSceneMaxCoordinate);
        out.y = r.within(vx["y"], child(p, "y"), -kSceneMaxCoordinate, kSceneMaxCoordinate);
        if (vx.contains("in"))
            readTangent(r, vx["in"], child(p, "in"), out.tan_in_x, out.tan_in_y);
        if (vx.contains("out"))
            readTangent(r, vx["out"], child(p, "out"), out.tan_out_x, out.tan_out_y);
        m.vertices.push_back(out);
    }
    return m;
}

// --- parameter values ----------------------------------------------------------------------------

void readValue(const Reader& r, const Json& v, const std::string& pointer, const Control& c,
               const std::vector<HostMask>& masks, PF_ParamDef& def) {
    switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER: {
        // Out-of-range values are refused, not clamped: a scene that says 400 for a control
        // that stops at 360 is a mistake worth hearing about.
        const PF_FloatSliderDef& fs = c.d->def.u.fs_d;
        def.u.fs_d.value = r.within(v, pointer, fs.valid_min, fs.valid_max);
        break;
    }
    case PF_Param_CHECKBOX:
        if (v.is_boolean())
            def.u.bd.value = v.get<bool>() ? 1 : 0;
        else if (v.is_number())
            def.u.bd.value = static_cast<PF_ParamValue>(r.integer(v, pointer, 0, 1));
        else
            r.fail(pointer, "expected 0, 1, true or false, got " + typeName(v));
        break;
    case PF_Param_COLOR: {
        const std::string expected =
            "expected \"#rrggbb\", \"#aarrggbb\", [r, g, b] or [a, r, g, b] with components 0..255";
        PF_Pixel px{255, 0, 0, 0};
        if (v.is_string()) {
            const std::string& s = v.get_ref<const std::string&>();
            if (auto rgb = hexBytes(s, 6)) {
                px = PF_Pixel{255, (*rgb)[0], (*rgb)[1], (*rgb)[2]};
            } else if (auto argb = hexBytes(s, 8)) {
                px = PF_Pixel{(*argb)[0], (*argb)[1], (*argb)[2], (*argb)[3]};
            } else {
                r.fail(pointer, shown(v) + " is not a colour; " + expected);
            }
        } else if (v.is_array() && (v.size() == 3 || v.size() == 4)) {
            uint8_t comp[4] = {255, 0, 0, 0};
            const size_t first = 4 - v.size();
            for (size_t i = 0; i < v.size(); ++i)
                comp[first + i] = static_cast<uint8_t>(r.integer(v[i], child(pointer, i), 0, 255));
            px = PF_Pixel{comp[0], comp[1], comp[2], comp[3]};
        } else {
            r.fail(pointer, shown(v) + " is not a colour; " + expected);
        }
        def.u.cd.value = px;
        break;
    }
    case PF_Param_POPUP: {
        const auto choices = popupChoiceList(c.d->popupChoices);
        const long long n = static_cast<long long>(choices.size());
        if (v.is_string()) {
            const std::string& s = v.get_ref<const std::string&>();
            long long found = 0;
            for (long long i = 0; i < n && found == 0; ++i)
                if (choices[static_cast<size_t>(i)] == s)
                    found = i + 1;
            if (found == 0)
                r.fail(pointer, shown(v) + " is not a choice; expected " + listed(choices) +
                                    " or 1.." + std::to_string(n));
            def.u.pd.value = static_cast<PF_ParamValue>(found);
        } else if (v.is_number()) {
            def.u.pd.value = static_cast<PF_ParamValue>(r.integer(v, pointer, 1, n));
        } else {
            r.fail(pointer, "expected a choice (" + listed(choices) + ") or its number 1.." +
                                std::to_string(n) + ", got " + typeName(v));
        }
        break;
    }
    case PF_Param_PATH: {
        // The effect sees a mask as its 1-based position; 0 is no mask.
        if (v.is_null()) {
            def.u.path_d.path_id = 0;
        } else if (v.is_string()) {
            const std::string& name = v.get_ref<const std::string&>();
            PF_PathID id = 0;
            for (size_t i = 0; i < masks.size() && id == 0; ++i)
                if (masks[i].name == name)
                    id = static_cast<PF_PathID>(i + 1);
            if (id == 0)
                r.fail(pointer, "no mask named " + shown(v));
            def.u.path_d.path_id = id;
        } else if (v.is_number()) {
            if (masks.empty())
                r.fail(pointer, "mask " + shown(v) + " does not exist: the scene has no masks");
            def.u.path_d.path_id = static_cast<PF_PathID>(
                r.integer(v, pointer, 1, static_cast<long long>(masks.size())));
        } else {
            r.fail(pointer,
                   "expected a mask name, a mask position from 1 or null, got " + typeName(v));
        }
        break;
    }
    default:
        r.fail(pointer, "this control can't be set from a scene");
    }
}

// --- the document --------------------------------------------------------------------------------

// Parses JSON text, refusing keys that repeat within one object: the parser would silently keep
// the last, and a scene that sets "Hue" twice is a mistake.
Json parseJson(const std::string& text, const std::string& source) {
    struct Frame {
        bool array;
        size_t index = 0;
        std::string key;
        std::set<std::string> keys;
        std::string pointer;
    };
    std::vector<Frame> stack;
    std::string duplicate;
    auto childPointer = [&]() -> std::string {
        if (stack.empty())
            return std::string();
        const Frame& top = stack.back();
        return top.array ? child(top.pointer, top.index) : child(top.pointer, top.key);
    };
    auto elementDone = [&]() {
        if (!stack.empty() && stack.back().array)
            ++stack.back().index;
    };
    auto callback = [&](int, Json::parse_event_t event, Json& parsed) -> bool {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start: {
            Frame f{event == Json::parse_event_t::array_start};
            f.pointer = childPointer();
            // Refused on the way in: every level keeps its pointer, so unbounded depth would
            // cost memory growing with the square of the depth.
            if (stack.size() >= static_cast<size_t>(kSceneMaxNesting))
                throw SceneError(source + ": " + f.pointer + ": nested deeper than " +
                                 std::to_string(kSceneMaxNesting) + " levels");
            stack.push_back(std::move(f));
            break;
        }
        case Json::parse_event_t::key: {
            Frame& top = stack.back();
            top.key = parsed.get<std::string>();
            if (!top.keys.insert(top.key).second && duplicate.empty())
                duplicate = child(top.pointer, top.key);
            break;
        }
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            stack.pop_back();
            elementDone();
            break;
        case Json::parse_event_t::value:
            elementDone();
            break;
        }
        return true;
    };
    Json doc;
    try {
        doc = Json::parse(text, callback);
    } catch (const Json::parse_error& e) {
        // nlohmann's text reads "[json.exception.parse_error.101] parse error at line 3,
        // column 5: <problem>"; the position and problem are kept, its prefix dropped.
        std::string what = printable(e.what());
        const size_t at = what.find("at line ");
        if (at != std::string::npos) {
            const size_t colon = what.find(": ", at);
            if (colon != std::string::npos)
                throw SceneError(source + ": " + what.substr(at + 3, colon - at - 3) +
                                 ": malformed JSON: " + what.substr(colon + 2));
        }
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos)
            what = what.substr(bracket + 2);
        throw SceneError(source + ": byte " + std::to_string(e.byte) + ": malformed JSON: " + what);
    } catch (const Json::exception& e) {
        std::string what = printable(e.what());
        const size_t bracket = what.find("] ");
        if (bracket != std::string::npos)
            what = what.substr(bracket + 2);
        throw SceneError(source + ": malformed JSON: " + what);
    }
    if (!duplicate.empty())
        throw SceneError(source + ": " + duplicate + ": key appears more than once");
    return doc;
}

} // namespace

std::vector<std::string> popupChoiceList(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        out.push_back(
            text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return out;
}

Scene parseScene(const std::string& jsonText, const std::string& sourceName, const Host& host) {
    const Reader r(sourceName);
    const Json doc = parseJson(jsonText, sourceName);
    r.object(doc, "", kSceneKeys, "a scene");
    if (host.declared().empty())
        throw SceneError(sourceName + ": the host has no parameters yet; run parameter setup "
                                      "before reading a scene");

    Scene scene;
    scene.source = sourceName;
    if (doc.contains("masks")) {
        const Json& ms = doc["masks"];
        if (!ms.is_array())
            r.fail("/masks", "expected an array of masks, got " + typeName(ms));
        for (size_t i = 0; i < ms.size(); ++i)
            scene.masks.push_back(readMask(r, ms[i], child("/masks", i), i));
    }

    // Every value starts at its declared default; the scene's values are read over them.
    const Layout layout = layoutOf(host);
    std::map<int, PF_ParamDef> values;
    const auto& declared = host.declared();
    for (size_t i = 0; i < declared.size(); ++i)
        if (holdsValue(declared[i].def.param_type))
            values.emplace(static_cast<int>(i) + 1, declared[i].def);

    auto setControl = [&](const Json& v, const std::string& pointer, const Control& c) {
        readValue(r, v, pointer, c, scene.masks, values.at(c.index));
    };

    if (doc.contains("params")) {
        const Json& ps = doc["params"];
        if (!ps.is_object())
            r.fail("/params", "expected an object, got " + typeName(ps));
        const auto topIt = layout.groups.find(std::string());
        for (const auto& [key, v] : ps.items()) {
            const std::string p = child("/params", key);
            const auto g = key.empty() ? layout.groups.end() : layout.groups.find(key);
            if (g != layout.groups.end()) {
                const auto order = layout.controlOrder.find(key);
                const std::vector<std::string> names =
                    order == layout.controlOrder.end() ? std::vector<std::string>{} : order->second;
                if (!v.is_object())
                    r.fail(p, "expected the group's controls (an object), got " + typeName(v));
                for (const auto& [name, value] : v.items()) {
                    const auto c = g->second.find(name);
                    if (c == g->second.end())
                        r.fail(child(p, name), "group " + quoted(key) + " has no control " +
                                                   quoted(name) + "; it has " + listed(names));
                    setControl(value, child(p, name), c->second);
                }
                continue;
            }
            if (topIt != layout.groups.end()) {
                const auto c = topIt->second.find(key);
                if (c != topIt->second.end()) {
                    setControl(v, p, c->second);
                    continue;
                }
            }
            std::vector<std::string> known = layout.topLevelOrder;
            for (const auto& name : layout.groupOrder)
                known.push_back(name);
            r.fail(p, "no parameter group or control named " + quoted(key) + "; expected " +
                          listed(known));
        }
    }

    for (auto& [index, def] : values)
        scene.values.emplace_back(index, def);
    return scene;
}

void applyScene(const Scene& scene, Host& host) {
    // Everything is checked before anything changes.
    LayerMasks& layer = host.extension<LayerMasks>();
    if (layer.outstanding() != 0)
        throw SceneError(scene.source + ": the effect still holds " +
                         std::to_string(layer.outstanding()) +
                         " mask handles, streams, values or path checkouts; the layer's masks "
                         "can't change under them");
    for (const auto& [index, def] : scene.values) {
        const bool fits =
            index >= 1 && index < host.paramCount() &&
            static_cast<size_t>(index) <= host.declared().size() &&
            host.declared()[static_cast<size_t>(index - 1)].def.param_type == def.param_type &&
            std::strcmp(host.declared()[static_cast<size_t>(index - 1)].def.name, def.name) == 0;
        if (!fits)
            throw SceneError(scene.source + ": parameter " + std::to_string(index) + " (" +
                             quoted(def.name) +
                             ") does not match this host's parameter list; the scene was read "
                             "for another one");
    }

    layer.masks = scene.masks;
    for (const auto& [index, def] : scene.values) {
        switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER:
            host.setSlider(index, def.u.fs_d.value);
            break;
        case PF_Param_CHECKBOX:
            host.setCheckbox(index, def.u.bd.value);
            break;
        case PF_Param_COLOR:
            host.setColor(index, def.u.cd.value);
            break;
        case PF_Param_POPUP:
            host.setPopup(index, def.u.pd.value);
            break;
        case PF_Param_PATH:
            host.setPath(index, def.u.path_d.path_id);
            break;
        default:
            break;
        }
    }
}

std::string readSceneFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw SceneError(path + ": is a directory, not a scene file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SceneError(path + ": can't open: " + std::strerror(errno));
    // Read one byte past the limit at most: a pipe or device has no size to check beforehand.
    const auto tooLarge = [&] {
        return SceneError(path + ": larger than " + std::to_string(kSceneMaxFileBytes) +
                          " bytes, the most a scene file may hold");
    };
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > static_cast<std::uintmax_t>(kSceneMaxFileBytes))
        throw tooLarge();
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
        if (text.size() > static_cast<size_t>(kSceneMaxFileBytes))
            throw tooLarge();
    }
    if (in.bad())
        throw SceneError(path + ": can't read: " + std::strerror(errno));
    return text;
}

void loadSceneFile(const std::string& path, Host& host) {
    applyScene(parseScene(readSceneFile(path), path, host), host);
}

// --- writing
// ---------------------------------------------------------------------------------------

namespace {

// Whole numbers are written without a fraction ("20", not "20.0"); the value read back is the
// same double either way.
Json numberValue(double v) {
    if (v == std::floor(v) && std::fabs(v) < 9007199254740992.0)
        return static_cast<int64_t>(v);
    return v;
}

// Scalars and containers of scalars go on one line when short; everything else is laid out one
// member per line, so that a mask's vertices or a parameter group read as one line each.
bool isFlat(const Json& v) {
    if (!v.is_structured())
        return true;
    for (const auto& e : v)
        if (e.is_structured() &&
            !(e.is_array() &&
              std::all_of(e.begin(), e.end(), [](const Json& x) { return !x.is_structured(); })))
            return false;
    return true;
}

std::string inlined(const Json& v) {
    if (!v.is_structured())
        return v.dump();
    std::string out = v.is_array() ? "[" : "{";
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first)
            out += ", ";
        first = false;
        if (v.is_object())
            out += quoted(it.key()) + ": ";
        out += inlined(*it);
    }
    return out + (v.is_array() ? "]" : "}");
}

void layOut(const Json& v, int indent, std::string& out) {
    if (isFlat(v)) {
        const std::string line = inlined(v);
        if (line.size() + static_cast<size_t>(indent) <= 100 || !v.is_structured()) {
            out += line;
            return;
        }
    }
    if (v.empty()) {
        out += v.is_array() ? "[]" : "{}";
        return;
    }
    const std::string pad(static_cast<size_t>(indent) + 2, ' ');
    out += v.is_array() ? "[\n" : "{\n";
    bool first = true;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first)
            out += ",\n";
        first = false;
        out += pad;
        if (v.is_object())
            out += quoted(it.key()) + ": ";
        layOut(*it, indent + 2, out);
    }
    out += "\n" + std::string(static_cast<size_t>(indent), ' ') + (v.is_array() ? "]" : "}");
}

// A mask colour that "#rrggbb" gives exactly is written that way, any other as [r, g, b].
Json maskColor(const HostMask& m) {
    const double comps[3] = {m.red, m.green, m.blue};
    PF_Pixel p{255, 0, 0, 0};
    A_u_char* bytes[3] = {&p.red, &p.green, &p.blue};
    for (int i = 0; i < 3; ++i) {
        const double scaled = std::round(comps[i] * 255.0);
        if (!(scaled >= 0 && scaled <= 255) || scaled / 255.0 != comps[i])
            return Json::array({numberValue(m.red), numberValue(m.green), numberValue(m.blue)});
        *bytes[i] = static_cast<A_u_char>(scaled);
    }
    return colorText(p);
}

bool sameValue(const PF_ParamDef& a, const PF_ParamDef& b) {
    switch (a.param_type) {
    case PF_Param_FLOAT_SLIDER:
        return a.u.fs_d.value == b.u.fs_d.value;
    case PF_Param_CHECKBOX:
        return a.u.bd.value == b.u.bd.value;
    case PF_Param_COLOR:
        return std::memcmp(&a.u.cd.value, &b.u.cd.value, sizeof(PF_Pixel)) == 0;
    case PF_Param_POPUP:
        return a.u.pd.value == b.u.pd.value;
    case PF_Param_PATH:
        return a.u.path_d.path_id == b.u.path_d.path_id;
    default:
        return true;
    }
}

Json writtenValue(const PF_ParamDef& v, const DeclaredParam& d,
                  const std::vector<HostMask>& masks) {
    switch (v.param_type) {
    case PF_Param_FLOAT_SLIDER:
        return numberValue(v.u.fs_d.value);
    case PF_Param_CHECKBOX:
        return v.u.bd.value;
    case PF_Param_COLOR:
        return colorText(v.u.cd.value);
    case PF_Param_POPUP: {
        const auto choices = popupChoiceList(d.popupChoices);
        const int n = v.u.pd.value;
        if (n >= 1 && static_cast<size_t>(n) <= choices.size())
            return choices[static_cast<size_t>(n - 1)];
        return n;
    }
    case PF_Param_PATH: {
        const PF_PathID id = v.u.path_d.path_id;
        if (id == 0)
            return nullptr;
        if (id >= 1 && static_cast<size_t>(id) <= masks.size()) {
            const std::string& name = masks[static_cast<size_t>(id - 1)].name;
            // The name only stands for this mask when no earlier mask carries it too.
            for (PF_PathID i = 1; i <= id; ++i)
                if (masks[static_cast<size_t>(i - 1)].name == name)
                    return i == id ? Json(name) : Json(id);
        }
        return id;
    }
    default:
        return nullptr;
    }
}

} // namespace

std::string sceneToJson(Host& host) {
    const std::vector<HostMask>& masks = host.extension<LayerMasks>().masks;
    Json doc = Json::object();
    Json ms = Json::array();
    for (size_t i = 0; i < masks.size(); ++i) {
        const HostMask& m = masks[i];
        if (m.alpha != 1.0)
            throw SceneError("(host): mask " + std::to_string(i + 1) + " has colour alpha " +
                             number(m.alpha) + "; a scene's mask colours are opaque");
        Json jm = Json::object();
        jm["name"] = m.name;
        jm["color"] = maskColor(m);
        jm["mode"] = m.mode;
        jm["opacity"] = numberValue(m.opacity);
        jm["expansion"] = numberValue(m.expansion);
        jm["closed"] = m.closed;
        Json vs = Json::array();
        for (const AEGP_MaskVertex& v : m.vertices) {
            Json jv = Json::object();
            jv["x"] = numberValue(v.x);
            jv["y"] = numberValue(v.y);
            if (v.tan_in_x != 0 || v.tan_in_y != 0)
                jv["in"] = Json::array({numberValue(v.tan_in_x), numberValue(v.tan_in_y)});
            if (v.tan_out_x != 0 || v.tan_out_y != 0)
                jv["out"] = Json::array({numberValue(v.tan_out_x), numberValue(v.tan_out_y)});
            vs.push_back(std::move(jv));
        }
        jm["vertices"] = std::move(vs);
        ms.push_back(std::move(jm));
    }
    doc["masks"] = std::move(ms);

    Json params = Json::object();
    std::string group;
    const auto& declared = host.declared();
    for (size_t i = 0; i < declared.size(); ++i) {
        const DeclaredParam& d = declared[i];
        if (d.def.param_type == PF_Param_GROUP_START) {
            group = d.def.name;
            continue;
        }
        if (d.def.param_type == PF_Param_GROUP_END) {
            group.clear();
            continue;
        }
        if (!holdsValue(d.def.param_type))
            continue;
        const PF_ParamDef& v = host.param(static_cast<int>(i) + 1);
        if (sameValue(v, d.def))
            continue;
        const Json value = writtenValue(v, d, masks);
        if (group.empty())
            params[d.def.name] = value;
        else
            params[group][d.def.name] = value;
    }
    doc["params"] = std::move(params);
    std::string out;
    layOut(doc, 0, out);
    return out + "\n";
}

std::string colorText(const PF_Pixel& p) {
    char buf[10];
    if (p.alpha == 255)
        std::snprintf(buf, sizeof buf, "#%02x%02x%02x", p.red, p.green, p.blue);
    else
        std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", p.alpha, p.red, p.green, p.blue);
    return buf;
}

} // namespace headless
