#include "headless/Scene.h"

#include "headless/LayerMasks.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using headless::HostMask;
using headless::SceneError;

// Parameter indices the effect reads (its parameter list is the contract these follow).
constexpr int kForceUpdate = 1;
constexpr int kMask1 = 3;
constexpr int kHue1 = 4;
constexpr int kSaturation1 = 5;
constexpr int kBrightness2 = 4 + 14 + 2;
constexpr int kMask2 = 3 + 14;
constexpr int kEffects1 = 14;
constexpr int kColorizeMask1 = 143;
constexpr int kColorizeColor1 = 144;
constexpr int kColorizeOpacity1 = 145;
constexpr int kColorizeColor20 = 144 + 3 * 19;
constexpr int kBlurAmount = 205;
constexpr int kGlowBlur = 214;
constexpr int kGlowColor = 215;
constexpr int kBlend = 216;
constexpr int kLinkMasks = 221;

// A mask as the effect reads it through the host's suites: for a closed outline the vertex
// after the last repeats the first.
struct SeenMask {
    std::string name;
    AEGP_ColorVal color;
    PF_MaskMode mode;
    double opacity, expansion;
    bool open;
    std::vector<AEGP_MaskVertex> vertices;
};

template <typename T> const T* acquire(headless::Host& host, const char* name, int version) {
    const void* p = nullptr;
    EXPECT_EQ(host.basicSuite()->AcquireSuite(name, version, &p), A_Err_NONE) << name;
    return static_cast<const T*>(p);
}

std::vector<SeenMask> readThroughSuites(headless::Host& host) {
    std::vector<SeenMask> out;
    host.preparedInData();
    auto* pfi = acquire<AEGP_PFInterfaceSuite1>(host, kAEGPPFInterfaceSuite, 1);
    auto* ms = acquire<AEGP_MaskSuite4>(host, kAEGPMaskSuite, 5);
    auto* ss = acquire<AEGP_StreamSuite2>(host, kAEGPStreamSuite, 7);
    auto* os = acquire<AEGP_MaskOutlineSuite1>(host, kAEGPMaskOutlineSuite, 2);
    if (pfi == nullptr || ms == nullptr || ss == nullptr || os == nullptr)
        return out;

    AEGP_LayerH layer = nullptr;
    EXPECT_EQ(pfi->AEGP_GetEffectLayer(host.inData().effect_ref, &layer), A_Err_NONE);
    A_long n = 0;
    EXPECT_EQ(ms->AEGP_GetLayerNumMasks(layer, &n), A_Err_NONE);
    const A_Time t{0, 24};
    for (A_long i = 0; i < n; ++i) {
        SeenMask s{};
        AEGP_MaskRefH m = nullptr;
        EXPECT_EQ(ms->AEGP_GetLayerMaskByIndex(layer, i, &m), A_Err_NONE);
        char name[AEGP_MAX_MASK_NAME_SIZE] = {};
        EXPECT_EQ(ms->AEGP_GetMaskName(m, name), A_Err_NONE);
        s.name = name;
        EXPECT_EQ(ms->AEGP_GetMaskColor(m, &s.color), A_Err_NONE);
        EXPECT_EQ(ms->AEGP_GetMaskMode(m, &s.mode), A_Err_NONE);
        for (auto [which, dst] : {std::pair{AEGP_MaskStream_OPACITY, &s.opacity},
                                  std::pair{AEGP_MaskStream_EXPANSION, &s.expansion}}) {
            AEGP_StreamRefH st = nullptr;
            EXPECT_EQ(ss->AEGP_GetNewMaskStream(42, m, which, &st), A_Err_NONE);
            AEGP_StreamValue v{};
            EXPECT_EQ(ss->AEGP_GetNewStreamValue(42, st, AEGP_LTimeMode_LayerTime, &t, 1, &v),
                      A_Err_NONE);
            *dst = v.val.one_d;
            ss->AEGP_DisposeStreamValue(&v);
            ss->AEGP_DisposeStream(st);
        }
        AEGP_StreamRefH st = nullptr;
        EXPECT_EQ(ss->AEGP_GetNewMaskStream(42, m, AEGP_MaskStream_OUTLINE, &st), A_Err_NONE);
        AEGP_StreamValue v{};
        EXPECT_EQ(ss->AEGP_GetNewStreamValue(42, st, AEGP_LTimeMode_LayerTime, &t, 0, &v),
                  A_Err_NONE);
        // The effect tells a closed outline by its extra vertex (checked by the callers); the
        // flag itself is the host's.
        s.open = !host.extension<headless::LayerMasks>().masks[static_cast<size_t>(i)].closed;
        A_long segments = 0;
        EXPECT_EQ(os->AEGP_GetMaskOutlineNumSegments(v.val.mask, &segments), A_Err_NONE);
        for (A_long k = 0; k <= segments; ++k) {
            AEGP_MaskVertex vx{};
            if (os->AEGP_GetMaskOutlineVertexInfo(v.val.mask, k, &vx) != A_Err_NONE)
                break;
            s.vertices.push_back(vx);
        }
        ss->AEGP_DisposeStreamValue(&v);
        ss->AEGP_DisposeStream(st);
        ms->AEGP_DisposeMask(m);
        out.push_back(s);
    }
    host.basicSuite()->ReleaseSuite(kAEGPMaskOutlineSuite, 2);
    host.basicSuite()->ReleaseSuite(kAEGPStreamSuite, 7);
    host.basicSuite()->ReleaseSuite(kAEGPMaskSuite, 5);
    host.basicSuite()->ReleaseSuite(kAEGPPFInterfaceSuite, 1);
    EXPECT_EQ(host.extension<headless::LayerMasks>().outstanding(), 0);
    return out;
}

void expectVertex(const AEGP_MaskVertex& v, double x, double y, double inX, double inY, double outX,
                  double outY) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.tan_in_x, inX);
    EXPECT_EQ(v.tan_in_y, inY);
    EXPECT_EQ(v.tan_out_x, outX);
    EXPECT_EQ(v.tan_out_y, outY);
}

bool samePixel(const PF_Pixel& a, const PF_Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// Every stored value of `a` equals `b`'s.
void expectSameValues(headless::Host& a, headless::Host& b) {
    ASSERT_EQ(a.paramCount(), b.paramCount());
    for (int i = 1; i < a.paramCount(); ++i) {
        const PF_ParamDef& x = a.param(i);
        const PF_ParamDef& y = b.param(i);
        ASSERT_EQ(x.param_type, y.param_type) << i;
        switch (x.param_type) {
        case PF_Param_FLOAT_SLIDER:
            EXPECT_EQ(x.u.fs_d.value, y.u.fs_d.value) << i;
            break;
        case PF_Param_CHECKBOX:
            EXPECT_EQ(x.u.bd.value, y.u.bd.value) << i;
            break;
        case PF_Param_COLOR:
            EXPECT_TRUE(samePixel(x.u.cd.value, y.u.cd.value)) << i;
            break;
        case PF_Param_POPUP:
            EXPECT_EQ(x.u.pd.value, y.u.pd.value) << i;
            break;
        case PF_Param_PATH:
            EXPECT_EQ(x.u.path_d.path_id, y.u.path_d.path_id) << i;
            break;
        default:
            break;
        }
    }
}

void expectSameMasks(const std::vector<HostMask>& a, const std::vector<HostMask>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].alpha, b[i].alpha);
        EXPECT_EQ(a[i].red, b[i].red);
        EXPECT_EQ(a[i].green, b[i].green);
        EXPECT_EQ(a[i].blue, b[i].blue);
        EXPECT_EQ(a[i].mode, b[i].mode);
        EXPECT_EQ(a[i].opacity, b[i].opacity);
        EXPECT_EQ(a[i].expansion, b[i].expansion);
        EXPECT_EQ(a[i].closed, b[i].closed);
        ASSERT_EQ(a[i].vertices.size(), b[i].vertices.size());
        for (size_t k = 0; k < a[i].vertices.size(); ++k) {
            const auto& v = b[i].vertices[k];
            expectVertex(a[i].vertices[k], v.x, v.y, v.tan_in_x, v.tan_in_y, v.tan_out_x,
                         v.tan_out_y);
        }
    }
}

std::unique_ptr<headless::Host> setUpHost() {
    auto host = zptest::newHost();
    EXPECT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    return host;
}

const char* kMaskSky = R"({"name": "Sky", "vertices": [{"x": 0, "y": 0}]})";

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override { host = setUpHost(); }
    void TearDown() override {
        host->makeCurrent();
        host->send(PF_Cmd_GLOBAL_SETDOWN);
    }
    void load(const std::string& text) {
        headless::applyScene(headless::parseScene(text, "scene.json", *host), *host);
    }
    std::vector<HostMask>& masks() { return host->extension<headless::LayerMasks>().masks; }

    std::unique_ptr<headless::Host> host;
};

// --- refused scenes -----------------------------------------------------------------------------

struct BadScene {
    const char* label;
    std::string text;
    std::string message; // a fragment of what(), after "scene.json: "
};

std::string withMasks(const std::string& masksJson, const std::string& paramsJson = "{}") {
    return R"({"masks": )" + masksJson + R"(, "params": )" + paramsJson + "}";
}
std::string oneMask(const std::string& fields) {
    return withMasks("[{" + fields + "}]");
}
std::string params(const std::string& body) {
    return R"({"params": {)" + body + "}}";
}

std::string repeated(const std::string& s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += s;
    return out;
}

std::vector<BadScene> badScenes() {
    const std::string sky = std::string("[") + kMaskSky + "]";
    return {
        // malformed documents
        {"Empty", "", "line 1, column 1: malformed JSON"},
        {"Unclosed", "{", "line 1, column 2: malformed JSON"},
        {"TrailingComma", "{\n  \"params\": {\n    \"Blur\": {\"Amount\": 1,}\n  }\n}",
         "line 3, column 26: malformed JSON: syntax error while parsing object key - unexpected "
         "'}'"},
        {"BadUtf8", "{\"masks\": [{\"name\": \"\xff\", \"vertices\": []}]}",
         "line 1, column 22: malformed JSON: syntax error while parsing value - invalid string: "
         "ill-formed UTF-8 byte; last read: '\"\\xff'"},
        {"NumberOverflow", params(R"("Blur": {"Amount": 1e400})"),
         "malformed JSON: number overflow"},
        {"NotAnObject", "[]", "(top level): expected a scene (an object), got an array"},
        // nesting: 64 levels are read (and refused for what they hold), 65 are not
        {"DeepestNesting", R"({"masks": )" + std::string(63, '[') + std::string(63, ']') + "}",
         "/masks/0: expected a mask (an object), got an array"},
        {"NestedArrays", std::string(200000, '[') + std::string(200000, ']'),
         repeated("/0", 64) + ": nested deeper than 64 levels"},
        {"NestedObjects", repeated(R"({"masks": )", 100000) + "0" + std::string(100000, '}'),
         repeated("/masks", 64) + ": nested deeper than 64 levels"},
        {"DuplicateControl", params(R"("Adjust 1": {"Hue": 1, "Hue": 2})"),
         "/params/Adjust 1/Hue: key appears more than once"},
        {"DuplicateInArray",
         withMasks(std::string("[") + kMaskSky + R"(, {"name": "a", "name": "b"}])"),
         "/masks/1/name: key appears more than once"},
        // the document's shape
        {"UnknownTopLevelKey", R"({"mask": []})",
         "/mask: unknown key in a scene; expected \"masks\" or \"params\""},
        {"MasksNotArray", R"({"masks": {}})", "/masks: expected an array of masks, got an object"},
        {"ParamsNotObject", R"({"params": []})", "/params: expected an object, got an array"},
        // masks
        {"MaskNotObject", withMasks("[3]"), "/masks/0: expected a mask (an object), got a number"},
        {"UnknownMaskKey", oneMask(R"("feather": 2, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/feather: unknown key in a mask; expected \"name\", \"color\", \"mode\", "
         "\"opacity\", \"expansion\", \"closed\" or \"vertices\""},
        {"NoVertices", oneMask(R"("name": "A")"), "/masks/0/vertices: a mask needs its vertices"},
        {"EmptyVertices", oneMask(R"("vertices": [])"),
         "/masks/0/vertices: a mask needs at least one vertex"},
        {"VerticesNotArray", oneMask(R"("vertices": {"x": 1})"),
         "/masks/0/vertices: expected an array of vertices, got an object"},
        {"VertexWithoutY", oneMask(R"("vertices": [{"x": 0, "y": 1}, {"x": 0}])"),
         "/masks/0/vertices/1/y: a vertex needs x and y"},
        {"UnknownVertexKey", oneMask(R"("vertices": [{"x": 0, "y": 1, "z": 0}])"),
         "/masks/0/vertices/0/z: unknown key"},
        {"VertexNotNumber", oneMask(R"("vertices": [{"x": "10", "y": 1}])"),
         "/masks/0/vertices/0/x: expected a number, got a string"},
        {"VertexTooFar", oneMask(R"("vertices": [{"x": 0, "y": -10000000.5}])"),
         "/masks/0/vertices/0/y: -10000000.5 is outside -10000000..10000000"},
        {"TangentTooFar", oneMask(R"("vertices": [{"x": 0, "y": 0, "out": [0, 2e7]}])"),
         "/masks/0/vertices/0/out/1: 20000000.0 is outside -10000000..10000000"},
        {"TangentShape", oneMask(R"("vertices": [{"x": 0, "y": 0, "in": [1]}])"),
         "/masks/0/vertices/0/in: expected an offset [dx, dy], got [1]"},
        {"NameTooLong",
         oneMask(R"("name": "abcdefghijklmnopqrstuvwxyz012345", "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/name: mask name \"abcdefghijklmnopqrstuvwxyz012345\" is 32 bytes long; at "
         "most 31 fit"},
        {"NameTooLongInUtf8",
         oneMask(R"("name": "ééééééééééaaaaaaaaaaaa", "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/name: mask name \"ééééééééééaaaaaaaaaaaa\" is 32 bytes long; at most 31 fit"},
        {"NameWithNul", oneMask(R"("name": "Sky\u0000x", "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/name: a mask name can't hold a NUL"},
        {"NameNotString", oneMask(R"("name": 7, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/name: expected a string, got a number"},
        {"MaskColorComponent", oneMask(R"("color": [0, 1.5, 0], "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/color/1: 1.5 is outside 0..1"},
        {"MaskColorNegative", oneMask(R"("color": [-0.1, 0, 0], "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/color/0: -0.1 is outside 0..1"},
        {"MaskColorShortHex", oneMask(R"("color": "#ff00", "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/color: \"#ff00\" is not a mask colour"},
        {"MaskColorWithAlpha", oneMask(R"("color": "#80ff0000", "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/color: \"#80ff0000\" is not a mask colour"},
        {"MaskColorTwoComponents", oneMask(R"("color": [1, 0], "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/color: [1,0] is not a mask colour"},
        {"MaskOpacity", oneMask(R"("opacity": 100.5, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/opacity: 100.5 is outside 0..100"},
        {"MaskMode", oneMask(R"("mode": 8, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/mode: 8 is outside 0..7"},
        {"MaskModeFraction", oneMask(R"("mode": 1.5, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/mode: 1.5 is not a whole number"},
        {"MaskExpansion", oneMask(R"("expansion": -1e8, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/expansion: -100000000.0 is outside -10000000..10000000"},
        {"MaskClosed", oneMask(R"("closed": 1, "vertices": [{"x": 0, "y": 0}])"),
         "/masks/0/closed: expected true or false, got a number"},
        // parameter names
        {"UnknownGroup", params(R"("Adjust 11": {"Hue": 1})"),
         "/params/Adjust 11: no parameter group or control named \"Adjust 11\"; expected \"Force "
         "update\", \"Adjust 1\""},
        {"UnknownControl", params(R"("Adjust 1": {"Hew": 1})"),
         "/params/Adjust 1/Hew: group \"Adjust 1\" has no control \"Hew\"; it has \"Mask\", "
         "\"Hue\""},
        {"ControlInWrongGroup", params(R"("Colorize": {"Mask 21": null})"),
         "/params/Colorize/Mask 21: group \"Colorize\" has no control \"Mask 21\""},
        {"ForceUpdateInGroup", params(R"("Options": {"Force update": 1})"),
         "/params/Options/Force update: group \"Options\" has no control"},
        {"ControlAtTopLevel", params(R"("Hue": 20)"),
         "/params/Hue: no parameter group or control named \"Hue\""},
        {"GroupNotObject", params(R"("Adjust 1": 5)"),
         "/params/Adjust 1: expected the group's controls (an object), got a number"},
        // sliders
        {"SliderAbove", params(R"("Adjust 1": {"Hue": 400})"),
         "/params/Adjust 1/Hue: 400 is outside -360..360"},
        {"SliderBelow", params(R"("Adjust 1": {"Hue": -360.5})"),
         "/params/Adjust 1/Hue: -360.5 is outside -360..360"},
        {"EffectsNegative", params(R"("Adjust 10": {"Effects": -1})"),
         "/params/Adjust 10/Effects: -1 is outside 0..100"},
        {"BlurAmount", params(R"("Blur": {"Amount": 50.001})"),
         "/params/Blur/Amount: 50.001 is outside 0..50"},
        {"GlowBlur", params(R"("Diffusion/Glow": {"Blur": 101})"),
         "/params/Diffusion~1Glow/Blur: 101 is outside 0..100"},
        {"SliderString", params(R"("Adjust 1": {"Hue": "20"})"),
         "/params/Adjust 1/Hue: expected a number, got a string"},
        {"SliderNull", params(R"("Fill Light": {"Range": null})"),
         "/params/Fill Light/Range: expected a number, got null"},
        // checkbox
        {"ForceUpdateTwo", params(R"("Force update": 2)"),
         "/params/Force update: 2 is outside 0..1"},
        {"ForceUpdateText", params(R"("Force update": "on")"),
         "/params/Force update: expected 0, 1, true or false, got a string"},
        // colours
        {"ColorShortHex", params(R"("Colorize": {"Color 1": "#ffcc9"})"),
         "/params/Colorize/Color 1: \"#ffcc9\" is not a colour; expected \"#rrggbb\""},
        {"ColorNotHex", params(R"("Colorize": {"Color 1": "#gg0000"})"),
         "/params/Colorize/Color 1: \"#gg0000\" is not a colour"},
        {"ColorName", params(R"("Diffusion/Glow": {"Color": "white"})"),
         "/params/Diffusion~1Glow/Color: \"white\" is not a colour"},
        {"ColorComponent", params(R"("Colorize": {"Color 1": [255, 256, 0]})"),
         "/params/Colorize/Color 1/1: 256 is outside 0..255"},
        {"ColorFraction", params(R"("Colorize": {"Color 2": [255, 0.5, 0, 0]})"),
         "/params/Colorize/Color 2/1: 0.5 is not a whole number"},
        {"ColorTwoComponents", params(R"("Colorize": {"Color 1": [1, 2]})"),
         "/params/Colorize/Color 1: [1,2] is not a colour"},
        // popups
        {"PopupUnknownChoice", params(R"("Diffusion/Glow": {"Blend": "Multiply"})"),
         "/params/Diffusion~1Glow/Blend: \"Multiply\" is not a choice; expected \"Add\", "
         "\"Normal\" or \"Screen\" or 1..3"},
        {"PopupChoiceCase", params(R"("Options": {"Link Masks": "mask name"})"),
         "/params/Options/Link Masks: \"mask name\" is not a choice"},
        {"PopupNumberHigh", params(R"("Diffusion/Glow": {"Blend": 4})"),
         "/params/Diffusion~1Glow/Blend: 4 is outside 1..3"},
        {"PopupNumberZero", params(R"("Options": {"Link Masks": 0})"),
         "/params/Options/Link Masks: 0 is outside 1..2"},
        {"PopupBoolean", params(R"("Options": {"Link Masks": true})"),
         "/params/Options/Link Masks: expected a choice (\"Mask Color\" or \"Mask Name\") or its "
         "number 1..2, got a boolean"},
        // mask selectors
        {"SelectorNoSuchName", withMasks(sky, R"({"Adjust 1": {"Mask": "Skyy"}})"),
         "/params/Adjust 1/Mask: no mask named \"Skyy\""},
        {"SelectorNameCase", withMasks(sky, R"({"Adjust 1": {"Mask": "sky"}})"),
         "/params/Adjust 1/Mask: no mask named \"sky\""},
        {"SelectorNoMasks", params(R"("Colorize": {"Mask 3": "Sky"})"),
         "/params/Colorize/Mask 3: no mask named \"Sky\""},
        {"SelectorPositionHigh", withMasks(sky, R"({"Adjust 1": {"Mask": 2}})"),
         "/params/Adjust 1/Mask: 2 is outside 1..1"},
        {"SelectorPositionZero", withMasks(sky, R"({"Adjust 1": {"Mask": 0}})"),
         "/params/Adjust 1/Mask: 0 is outside 1..1"},
        {"SelectorPositionWithoutMasks", params(R"("Adjust 1": {"Mask": 1})"),
         "/params/Adjust 1/Mask: mask 1 does not exist: the scene has no masks"},
        {"SelectorFraction", withMasks(sky, R"({"Adjust 1": {"Mask": 1.5}})"),
         "/params/Adjust 1/Mask: 1.5 is not a whole number"},
        {"SelectorBoolean", withMasks(sky, R"({"Adjust 1": {"Mask": true}})"),
         "/params/Adjust 1/Mask: expected a mask name, a mask position from 1 or null, got a "
         "boolean"},
        // a problem at the very end of an otherwise good scene
        {"LastValueBad",
         withMasks(sky,
                   R"({"Adjust 1": {"Mask": "Sky", "Hue": 20}, "Options": {"Link Masks": 3}})"),
         "/params/Options/Link Masks: 3 is outside 1..2"},
    };
}

void PrintTo(const BadScene& c, std::ostream* os) {
    *os << c.label;
}

class RefusedScene : public SceneTest, public ::testing::WithParamInterface<BadScene> {};

TEST_P(RefusedScene, NamesFilePathAndProblemAndChangesNothing) {
    // A state that differs from the defaults everywhere a scene could touch.
    masks() = {HostMask{"Existing", 1, 0.5, 0.25, 0.125, 2, 50, 3, false, {{1, 2, 3, 4, 5, 6}}}};
    host->setSlider(kHue1, 7);
    host->setPath(kMask1, 1);
    host->setColor(kColorizeColor1, PF_Pixel{1, 2, 3, 4});
    host->setPopup(kLinkMasks, 1);
    const std::string before = headless::sceneToJson(*host);

    const BadScene& c = GetParam();
    try {
        load(c.text);
        ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SceneError& e) {
        EXPECT_NE(std::string(e.what()).find("scene.json: " + c.message), std::string::npos)
            << "message: " << e.what() << "\nexpected: scene.json: " << c.message;
    }
    EXPECT_EQ(headless::sceneToJson(*host), before);
    ASSERT_EQ(masks().size(), 1u);
    EXPECT_EQ(masks()[0].name, "Existing");
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 7.0);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedScene, ::testing::ValuesIn(badScenes()),
                         [](const auto& row) { return std::string(row.param.label); });

// --- accepted scenes ----------------------------------------------------------------------------

TEST_F(SceneTest, MasksReachTheEffectThroughTheHostSuites) {
    load(R"({"masks": [
        {"name": "Sky", "color": [0.2, 0.4, 1.0], "mode": 3, "opacity": 62.5, "expansion": -4,
         "closed": true,
         "vertices": [{"x": 100, "y": 50, "in": [0, 0], "out": [30, 0]},
                      {"x": 300.25, "y": 60, "in": [-7, 2.5]},
                      {"x": 280, "y": -140}]},
        {"name": "Skin", "color": "#FF8000", "closed": false,
         "vertices": [{"x": 1e7, "y": -1e7, "out": [-1e7, 1e7]}, {"x": 5, "y": 6}]},
        {"vertices": [{"x": 1, "y": 2}]}
    ]})");

    const auto seen = readThroughSuites(*host);
    ASSERT_EQ(seen.size(), 3u);

    EXPECT_EQ(seen[0].name, "Sky");
    EXPECT_EQ(seen[0].color.alphaF, 1.0);
    EXPECT_EQ(seen[0].color.redF, 0.2);
    EXPECT_EQ(seen[0].color.greenF, 0.4);
    EXPECT_EQ(seen[0].color.blueF, 1.0);
    EXPECT_EQ(seen[0].mode, 3);
    EXPECT_EQ(seen[0].opacity, 62.5);
    EXPECT_EQ(seen[0].expansion, -4.0);
    EXPECT_FALSE(seen[0].open);
    // Closed: three segments, the fourth vertex repeats the first.
    ASSERT_EQ(seen[0].vertices.size(), 4u);
    expectVertex(seen[0].vertices[0], 100, 50, 0, 0, 30, 0);
    expectVertex(seen[0].vertices[1], 300.25, 60, -7, 2.5, 0, 0);
    expectVertex(seen[0].vertices[2], 280, -140, 0, 0, 0, 0);
    expectVertex(seen[0].vertices[3], 100, 50, 0, 0, 30, 0);

    EXPECT_EQ(seen[1].name, "Skin");
    EXPECT_EQ(seen[1].color.redF, 1.0);
    EXPECT_EQ(seen[1].color.greenF, 128 / 255.0);
    EXPECT_EQ(seen[1].color.blueF, 0.0);
    EXPECT_EQ(seen[1].mode, 1);
    EXPECT_EQ(seen[1].opacity, 100.0);
    EXPECT_EQ(seen[1].expansion, 0.0);
    EXPECT_TRUE(seen[1].open);
    ASSERT_EQ(seen[1].vertices.size(), 2u);
    expectVertex(seen[1].vertices[0], 1e7, -1e7, 0, 0, -1e7, 1e7);
    expectVertex(seen[1].vertices[1], 5, 6, 0, 0, 0, 0);

    // Everything left out takes the host's defaults; the name is the host's own for new masks.
    EXPECT_EQ(seen[2].name, "Mask 3");
    EXPECT_EQ(seen[2].color.alphaF, 1.0);
    EXPECT_EQ(seen[2].color.redF, 1.0);
    EXPECT_EQ(seen[2].color.greenF, 1.0);
    EXPECT_EQ(seen[2].color.blueF, 0.0);
    EXPECT_FALSE(seen[2].open);
    ASSERT_EQ(seen[2].vertices.size(), 2u);
    expectVertex(seen[2].vertices[1], 1, 2, 0, 0, 0, 0);
    EXPECT_EQ(host->outstandingSuites(), 0);
}

TEST_F(SceneTest, LongestMaskNameArrivesWhole) {
    const std::string name(31, 'n');
    load(R"({"masks": [{"name": ")" + name + R"(", "vertices": [{"x": 0, "y": 0}]}],
             "params": {"Adjust 1": {"Mask": ")" +
         name + R"("}}})");
    const auto seen = readThroughSuites(*host);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].name, name);
    EXPECT_EQ(host->param(kMask1).u.path_d.path_id, 1);

    // The name as the effect's path-data query hands it back for the selected path.
    const void* p = nullptr;
    host->preparedInData();
    ASSERT_EQ(host->basicSuite()->AcquireSuite(kPFPathDataSuite, 1, &p), A_Err_NONE);
    char buf[PF_MAX_PATH_NAME_LEN + 1] = {};
    EXPECT_EQ(static_cast<const PF_PathDataSuite1*>(p)->PF_PathGetName(
                  host->inData().effect_ref, host->param(kMask1).u.path_d.path_id, buf),
              PF_Err_NONE);
    host->basicSuite()->ReleaseSuite(kPFPathDataSuite, 1);
    EXPECT_EQ(std::string(buf), name);
}

TEST_F(SceneTest, ParameterValuesLandAtTheirIndices) {
    load(R"({"masks": [
        {"name": "Sky", "vertices": [{"x": 0, "y": 0}]},
        {"name": "Skin", "vertices": [{"x": 0, "y": 0}]},
        {"name": "Sky", "vertices": [{"x": 0, "y": 0}]}],
      "params": {
        "Force update": 1,
        "Adjust 1": {"Mask": "Sky", "Hue": -360, "Saturation": -10, "Effects": 100},
        "Adjust 2": {"Mask": 3, "Brightness": 12.25},
        "Colorize": {"Mask 1": "Skin", "Color 1": "#ffcc99", "Opacity 1": 0,
                     "Color 20": [16, 32, 48]},
        "Blur": {"Amount": 50},
        "Diffusion/Glow": {"Blur": 0, "Color": "#80A0b0C0", "Blend": "Add"},
        "Options": {"Link Masks": "Mask Color"}
    }})");

    EXPECT_EQ(host->param(kForceUpdate).u.bd.value, 1);
    EXPECT_EQ(host->param(kMask1).u.path_d.path_id, 1); // the first mask of that name
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, -360.0);
    EXPECT_EQ(host->param(kSaturation1).u.fs_d.value, -10.0);
    EXPECT_EQ(host->param(kEffects1).u.fs_d.value, 100.0);
    EXPECT_EQ(host->param(kMask2).u.path_d.path_id, 3);
    EXPECT_EQ(host->param(kBrightness2).u.fs_d.value, 12.25);
    EXPECT_EQ(host->param(kColorizeMask1).u.path_d.path_id, 2);
    EXPECT_TRUE(samePixel(host->param(kColorizeColor1).u.cd.value, PF_Pixel{255, 255, 204, 153}));
    EXPECT_EQ(host->param(kColorizeOpacity1).u.fs_d.value, 0.0);
    EXPECT_TRUE(samePixel(host->param(kColorizeColor20).u.cd.value, PF_Pixel{255, 16, 32, 48}));
    EXPECT_EQ(host->param(kBlurAmount).u.fs_d.value, 50.0);
    EXPECT_EQ(host->param(kGlowBlur).u.fs_d.value, 0.0);
    EXPECT_TRUE(samePixel(host->param(kGlowColor).u.cd.value, PF_Pixel{0x80, 0xa0, 0xb0, 0xc0}));
    EXPECT_EQ(host->param(kBlend).u.pd.value, 1);
    EXPECT_EQ(host->param(kLinkMasks).u.pd.value, 1);
}

TEST_F(SceneTest, NumbersAndAlternativeSpellingsAreAccepted) {
    load(R"({"masks": [{"name": "A", "vertices": [{"x": 0, "y": 0}]}],
      "params": {
        "Force update": true,
        "Adjust 1": {"Mask": null, "Hue": 360},
        "Adjust 3": {"Mask": 1.0},
        "Colorize": {"Color 2": [1, 2, 3, 4]},
        "Diffusion/Glow": {"Blend": 2},
        "Options": {"Link Masks": 2.0}
    }})");
    EXPECT_EQ(host->param(kForceUpdate).u.bd.value, 1);
    EXPECT_EQ(host->param(kMask1).u.path_d.path_id, 0);
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 360.0);
    EXPECT_EQ(host->param(3 + 28).u.path_d.path_id, 1);
    EXPECT_TRUE(samePixel(host->param(kColorizeColor1 + 3).u.cd.value, PF_Pixel{1, 2, 3, 4}));
    EXPECT_EQ(host->param(kBlend).u.pd.value, 2);
    EXPECT_EQ(host->param(kLinkMasks).u.pd.value, 2);
}

TEST_F(SceneTest, WhatASceneLeavesOutReturnsToItsDefault) {
    auto fresh = setUpHost();
    load(R"({"masks": [{"name": "A", "vertices": [{"x": 0, "y": 0}]}],
             "params": {"Adjust 1": {"Mask": "A", "Hue": 20}, "Colorize": {"Color 1": "#000000"},
                        "Diffusion/Glow": {"Blend": "Add"}}})");
    ASSERT_EQ(host->param(kHue1).u.fs_d.value, 20.0);
    load(R"({"params": {"Adjust 2": {"Hue": 5}}})");
    EXPECT_TRUE(masks().empty());
    EXPECT_EQ(host->param(kHue1 + 14).u.fs_d.value, 5.0);
    host->setSlider(kHue1 + 14, 0);
    host->makeCurrent();
    expectSameValues(*host, *fresh);
    // Declared defaults that aren't zero are what come back.
    EXPECT_EQ(host->param(kBlend).u.pd.value, 3);
    EXPECT_EQ(host->param(kColorizeOpacity1).u.fs_d.value, 100.0);
    fresh->makeCurrent();
    fresh->send(PF_Cmd_GLOBAL_SETDOWN);
}

TEST_F(SceneTest, ExampleSceneLoadsFromItsFile) {
    headless::loadSceneFile(std::string(ZP_SOURCE_DIR) + "/examples/scenes/sky-and-skin.json",
                            *host);
    ASSERT_EQ(masks().size(), 3u);
    EXPECT_EQ(masks()[1].name, "Skin");
    EXPECT_FALSE(masks()[1].closed);
    EXPECT_EQ(host->param(kMask1).u.path_d.path_id, 1);
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 20.0);
    EXPECT_EQ(host->param(kMask2).u.path_d.path_id, 2);
    EXPECT_EQ(host->param(kColorizeMask1).u.path_d.path_id, 2);
    EXPECT_EQ(host->param(kBlend).u.pd.value, 3);
}

// --- files ---------------------------------------------------------------------------------------

class SceneFileTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        dir = std::filesystem::temp_directory_path() /
              ("zp-scene-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        SceneTest::TearDown();
    }
    std::string write(const std::string& name, const std::string& text) {
        const auto path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::filesystem::path dir;
};

TEST_F(SceneFileTest, MessagesNameTheFileAsGiven) {
    const std::string path = write("bad.json", params(R"("Adjust 1": {"Hue": 400})"));
    try {
        headless::loadSceneFile(path, *host);
        FAIL() << "accepted";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": /params/Adjust 1/Hue: 400 is outside -360..360");
    }
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 0.0);
}

TEST_F(SceneFileTest, RefusedFileChangesNothing) {
    masks() = {HostMask{"Kept"}};
    masks()[0].vertices = {AEGP_MaskVertex{}};
    const std::string path = write("late.json", withMasks(std::string("[") + kMaskSky + "]",
                                                          R"({"Adjust 1": {"Mask": "Sky",
                                                              "Hue": 30},
                                                              "Blur": {"Amount": 60}})"));
    EXPECT_THROW(headless::loadSceneFile(path, *host), SceneError);
    ASSERT_EQ(masks().size(), 1u);
    EXPECT_EQ(masks()[0].name, "Kept");
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 0.0);
    EXPECT_EQ(host->param(kMask1).u.path_d.path_id, 0);
}

TEST_F(SceneFileTest, FilesOverTheSizeLimitAreRefused) {
    auto message = [&](const std::string& path) {
        try {
            headless::loadSceneFile(path, *host);
        } catch (const SceneError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    const std::string path =
        write("huge.json", "{}" + std::string(headless::kSceneMaxFileBytes - 2, ' '));
    EXPECT_EQ(message(path), "accepted");
    const std::string tooLarge = ": larger than 16777216 bytes, the most a scene file may hold";
    std::ofstream(path, std::ios::app) << ' ';
    EXPECT_EQ(message(path), path + tooLarge);
    // A device has no size to check first: reading stops one byte past the limit.
    EXPECT_EQ(message("/dev/zero"), "/dev/zero" + tooLarge);
}

TEST_F(SceneFileTest, MissingFileAndDirectoryAreRefused) {
    const std::string missing = (dir / "none.json").string();
    try {
        headless::loadSceneFile(missing, *host);
        FAIL() << "accepted";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(missing + ": can't open", 0), 0u) << e.what();
    }
    try {
        headless::loadSceneFile(dir.string(), *host);
        FAIL() << "accepted";
    } catch (const SceneError& e) {
        EXPECT_EQ(std::string(e.what()), dir.string() + ": is a directory, not a scene file");
    }
}

TEST_F(SceneFileTest, GoodFileIsApplied) {
    const std::string path =
        write("good.json", "\xef\xbb\xbf" + withMasks(std::string("[") + kMaskSky + "]",
                                                      R"({"Adjust 1": {"Mask": "Sky"}})"));
    headless::loadSceneFile(path, *host);
    ASSERT_EQ(masks().size(), 1u);
    EXPECT_EQ(host->param(kMask1).u.path_d.path_id, 1);
}

// --- applying ----------------------------------------------------------------------------------

TEST_F(SceneTest, SceneIsNotAppliedWhileTheEffectHoldsAMask) {
    const auto scene =
        headless::parseScene(withMasks("[]", R"({"Adjust 1": {"Hue": 3}})"), "scene.json", *host);
    masks() = {HostMask{"Held"}};
    masks()[0].vertices = {AEGP_MaskVertex{}};

    host->preparedInData();
    auto* pfi = acquire<AEGP_PFInterfaceSuite1>(*host, kAEGPPFInterfaceSuite, 1);
    auto* ms = acquire<AEGP_MaskSuite4>(*host, kAEGPMaskSuite, 5);
    ASSERT_TRUE(pfi != nullptr && ms != nullptr);
    AEGP_LayerH layer = nullptr;
    ASSERT_EQ(pfi->AEGP_GetEffectLayer(host->inData().effect_ref, &layer), A_Err_NONE);
    AEGP_MaskRefH held = nullptr;
    ASSERT_EQ(ms->AEGP_GetLayerMaskByIndex(layer, 0, &held), A_Err_NONE);

    try {
        headless::applyScene(scene, *host);
        ADD_FAILURE() << "applied";
    } catch (const SceneError& e) {
        EXPECT_NE(std::string(e.what()).find("scene.json: the effect still holds 1"),
                  std::string::npos)
            << e.what();
    }
    ASSERT_EQ(masks().size(), 1u);
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 0.0);

    ms->AEGP_DisposeMask(held);
    host->basicSuite()->ReleaseSuite(kAEGPMaskSuite, 5);
    host->basicSuite()->ReleaseSuite(kAEGPPFInterfaceSuite, 1);
    headless::applyScene(scene, *host);
    EXPECT_TRUE(masks().empty());
    EXPECT_EQ(host->param(kHue1).u.fs_d.value, 3.0);
}

TEST_F(SceneTest, SceneReadForAnotherParameterListIsRefused) {
    const auto scene =
        headless::parseScene(params(R"("Adjust 1": {"Brightness": 9})"), "scene.json", *host);
    // A host that lost the fifth declaration ("Saturation") holds "Brightness" at index 5.
    auto other = zptest::newHost();
    other->failAddParam(5, PF_Err_OUT_OF_MEMORY);
    ASSERT_EQ(other->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    other->send(PF_Cmd_PARAMS_SETUP);
    ASSERT_EQ(std::string(other->declared()[4].def.name), "Brightness");
    try {
        headless::applyScene(scene, *other);
        ADD_FAILURE() << "applied";
    } catch (const SceneError& e) {
        EXPECT_NE(std::string(e.what()).find("scene.json: parameter 5 (\"Saturation\") does not "
                                             "match this host's parameter list"),
                  std::string::npos)
            << e.what();
    }
    for (int i = 4; i <= 6; ++i)
        EXPECT_EQ(other->param(i).u.fs_d.value, 0.0) << i;
    other->send(PF_Cmd_GLOBAL_SETDOWN);
    host->makeCurrent();
}

TEST(SceneWithoutSetup, IsRefusedBeforeParameterSetup) {
    auto host = zptest::newHost();
    try {
        headless::parseScene("{}", "scene.json", *host);
        FAIL() << "accepted";
    } catch (const SceneError& e) {
        EXPECT_NE(std::string(e.what()).find("run parameter setup"), std::string::npos);
    }
}

// --- writing -------------------------------------------------------------------------------------

TEST_F(SceneTest, WrittenSceneReproducesTheState) {
    load(R"({"masks": [
        {"name": "Sky", "color": [0.1, 0.30000000000000004, 0.7], "mode": 0, "opacity": 33.3,
         "expansion": 2.5, "vertices": [{"x": 0.1, "y": 2, "in": [1, 2], "out": [3, 4]},
                                        {"x": 9, "y": 8}]},
        {"name": "Sky", "closed": false, "color": "#FF8000", "vertices": [{"x": 1, "y": 1}]},
        {"name": "Diffusion/Glow ~", "vertices": [{"x": 1, "y": 1}]}],
      "params": {
        "Force update": 1,
        "Adjust 1": {"Mask": 2, "Hue": 0.1, "Cyan/Magenta": -99.99},
        "Adjust 10": {"Mask": "Sky", "Effects": 12},
        "Colorize": {"Mask 20": 3, "Color 20": "#7f010203", "Opacity 20": 1e-3},
        "Fill Light": {"Position": 100},
        "Diffusion/Glow": {"Blend": "Normal", "Color": "#000000"},
        "Options": {"Link Masks": "Mask Color"}
    }})");
    const std::string written = headless::sceneToJson(*host);

    auto copy = setUpHost();
    headless::applyScene(headless::parseScene(written, "written.json", *copy), *copy);
    expectSameMasks(copy->extension<headless::LayerMasks>().masks, masks());
    host->makeCurrent();
    expectSameValues(*copy, *host);
    EXPECT_EQ(headless::sceneToJson(*copy), written);

    // A selector is written by name only where the name picks that very mask.
    EXPECT_NE(written.find(R"("Mask": 2)"), std::string::npos) << written;
    EXPECT_NE(written.find(R"("Mask": "Sky")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"("Mask 20": "Diffusion/Glow ~")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"("Blend": "Normal")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"("color": "#ff8000")"), std::string::npos) << written;
    EXPECT_NE(written.find(R"("color": [0.1, 0.30000000000000004, 0.7])"), std::string::npos)
        << written;
    // Values left at their defaults are not written.
    EXPECT_EQ(written.find("\"Range\""), std::string::npos) << written;
    copy->makeCurrent();
    copy->send(PF_Cmd_GLOBAL_SETDOWN);
    host->makeCurrent();
}

TEST_F(SceneTest, WritingRefusesAMaskColourWithAlpha) {
    masks() = {HostMask{"A"}};
    masks()[0].alpha = 0.5;
    masks()[0].vertices = {AEGP_MaskVertex{}};
    EXPECT_THROW(headless::sceneToJson(*host), SceneError);
}

} // namespace
