#include "cli/Frame.h"
#include "cli/ImageIO.h"
#include "effect/Command.h"
#include "headless/Host.h"
#include "headless/Scene.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace zpcli {

namespace {

const char* errorName(PF_Err err) {
    switch (err) {
    case PF_Err_OUT_OF_MEMORY:
        return "PF_Err_OUT_OF_MEMORY";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX:
        return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
        return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK:
        return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM:
        return "PF_Err_BAD_CALLBACK_PARAM";
    case A_Err_MISSING_SUITE:
        return "A_Err_MISSING_SUITE";
    default:
        return nullptr;
    }
}

std::string describeError(PF_Err err, const std::string& during) {
    std::string s = "the plug-in failed during " + during + " with error " + std::to_string(err);
    if (const char* name = errorName(err))
        s += std::string(" (") + name + ")";
    return s;
}

// One "N[/D]" factor.
void parseFactor(const std::string& text, const std::string& whole, int32_t& num, int32_t& den) {
    auto number = [&](const std::string& part) -> int32_t {
        if (part.empty() || part.size() > 4 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--downsample " + whole +
                             ": expected N or N/D with whole numbers 1..1000, e.g. 1/2 or 1/2,1/4");
        return static_cast<int32_t>(std::stoi(part));
    };
    const size_t slash = text.find('/');
    num = number(text.substr(0, slash));
    den = slash == std::string::npos ? 1 : number(text.substr(slash + 1));
    if (num < 1 || den < 1 || num > 1000 || den > 1000)
        throw UsageError("--downsample " + whole + ": N and D must lie in 1..1000");
    if (num > den)
        throw UsageError("--downsample " + whole +
                         ": a host reduces layers, it never enlarges them; N must not exceed D");
}

// Tears the instance down when the frame ends early; the normal path does it itself to hear
// the result.
class InstanceGuard {
public:
    explicit InstanceGuard(headless::Host& host) : host_(host) {}
    ~InstanceGuard() {
        if (armed_)
            (void)host_.teardownInstance();
    }
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;
    PF_Err teardown() {
        armed_ = false;
        return host_.teardownInstance();
    }

private:
    headless::Host& host_;
    bool armed_ = true;
};

} // namespace

PluginError::PluginError(PF_Err err, const std::string& during)
    : std::runtime_error(describeError(err, during)), code(err) {}

Downsample parseDownsample(const std::string& text) {
    Downsample ds;
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        parseFactor(text, text, ds.numX, ds.denX);
        ds.numY = ds.numX;
        ds.denY = ds.denX;
    } else {
        parseFactor(text.substr(0, comma), text, ds.numX, ds.denX);
        parseFactor(text.substr(comma + 1), text, ds.numY, ds.denY);
    }
    return ds;
}

int32_t fullResolutionHeight(int32_t height, const Downsample& ds) {
    // height * den / num to nearest, in integers: no float rounding decides a pixel row.
    const int64_t n = int64_t{height} * ds.denY;
    return static_cast<int32_t>((2 * n + ds.numY) / (2 * int64_t{ds.numY}));
}

Frame renderFrame(headless::HostWorld& input, const FrameRequest& request) {
    const bool plain = request.kind == RenderKind::Plain;
    if (plain && input.bytesPerChannel() == 4)
        throw UsageError(kPlainFloat);

    // The effect linked into this program, not a loaded copy: only this one reports to the
    // pipeline observer installed below.
    headless::Host host(headless::Plugin::fromCommand(&command));
    if (!request.failHostCall.empty())
        host.faults.failCall(request.failHostCall, request.failHostCallNth);
    InstanceGuard guard(host);
    PF_Err err = host.setupInstance();
    if (err != PF_Err_NONE)
        throw PluginError(err, "instance setup");
    headless::loadSceneFile(request.scenePath, host);

    // The input is the layer as the host hands it at this resolution; masks and the layer
    // height stay at full resolution.
    PF_InData& in = host.inData();
    const Downsample& ds = request.downsample;
    in.downsample_x = PF_RationalScale{ds.numX, static_cast<A_u_long>(ds.denX)};
    in.downsample_y = PF_RationalScale{ds.numY, static_cast<A_u_long>(ds.denY)};
    in.height = fullResolutionHeight(input.height(), ds);

    Frame frame;
    frame.output = std::make_unique<headless::HostWorld>(input.width(), input.height(),
                                                         input.bytesPerChannel(), 0, 0);
    frame.capture = std::make_unique<FrameCapture>(request.keepViews);
    {
        ObserverScope observing(frame.capture.get());
        auto& protocol = host.extension<headless::RenderProtocol>();
        for (int i = 0; i < std::max(1, request.repeat) && err == PF_Err_NONE; ++i) {
            err = plain ? protocol.renderPlain(input, *frame.output)
                        : protocol.renderSmart(input, *frame.output, 8 * input.bytesPerChannel());
        }
    }
    if (err != PF_Err_NONE)
        throw PluginError(err, plain ? "render" : "smart render");
    err = guard.teardown();
    if (err != PF_Err_NONE)
        throw PluginError(err, "instance teardown");
    return frame;
}

void printTimings(const FrameCapture& capture, std::ostream& out) {
    const size_t renders = capture.reused.size();
    size_t render = 0;
    for (const auto& [stage, ms] : capture.times) {
        // Every render starts with its masks.
        if (stage == "masks" && renders > 1)
            out << "render " << ++render << " of " << renders << "\n";
        else if (stage == "masks")
            ++render;
        const bool reused = stage == "propagation" && render >= 1 && render <= renders &&
                            capture.reused[render - 1];
        char line[96];
        std::snprintf(line, sizeof line, "%-12s %10.3f ms%s\n", stage.c_str(), ms,
                      reused ? " (reused)" : "");
        out << line;
    }
}

void checkSceneFile(const std::string& path) {
    headless::Host host(headless::Plugin::fromCommand(&command));
    InstanceGuard guard(host);
    const PF_Err err = host.setupInstance();
    if (err != PF_Err_NONE)
        throw PluginError(err, "instance setup");
    headless::loadSceneFile(path, host);
}

void renderStill(const RenderOptions& o, std::ostream& out, std::ostream& err) {
    if (o.depth != 0 && o.depth != 8 && o.depth != 16 && o.depth != 32)
        throw UsageError("--depth must be 8, 16 or 32");
    const bool plain = o.kind == RenderKind::Plain;
    if (plain && o.depth == 32)
        throw UsageError(kPlainFloat);
    checkOutputPath(o.output);
    // Known from the header alone: no need to read a whole float image to refuse it.
    if (plain && o.depth == 0 && fileDepthOf(o.input) == 32)
        throw UsageError(kPlainFloat);

    Picture pic = readPicture(o.input, o.depth);
    FrameRequest request;
    request.scenePath = o.scene;
    request.kind = o.kind;
    request.downsample = o.downsample;
    request.keepViews = o.view != View::Image;
    request.repeat = o.repeat;
    request.failHostCall = o.failHostCall;
    request.failHostCallNth = o.failHostCallNth;
    const Frame frame = renderFrame(*pic.world, request);
    if (o.timings)
        printTimings(*frame.capture, out);

    switch (o.view) {
    case View::Image:
        writePicture(o.output, *frame.output, pic.hasAlpha, err);
        break;
    case View::Strokes:
        writePicture(o.output, *makeStrokesView(*pic.world, *frame.capture), false, err);
        break;
    case View::Labels:
        writePicture(o.output, *makeLabelsView(*frame.capture, pic.world->bytesPerChannel()), false,
                     err);
        break;
    case View::Weights:
        writePicture(o.output, *makeWeightsView(*frame.capture), false, err);
        break;
    }
}

} // namespace zpcli
