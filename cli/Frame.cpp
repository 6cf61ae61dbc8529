#include "cli/Frame.h"

#include "cli/EffectInstance.h"
#include "headless/Scene.h"

#include <algorithm>
#include <cstdio>

namespace zpcli {

Frame renderFrame(headless::HostWorld& input, const FrameRequest& request) {
    if (request.kind == RenderKind::Plain && input.bytesPerChannel() == 4)
        throw UsageError(kPlainFloatMessage);
    EffectInstance instance(request.failHostCall, request.failHostCallNth);
    headless::loadSceneFile(request.scenePath, instance.host());
    Frame frame = renderOn(instance.host(), input, request);
    instance.close();
    return frame;
}

Frame renderOn(headless::Host& host, headless::HostWorld& input, const FrameRequest& request) {
    Frame frame;
    frame.output = std::make_unique<headless::HostWorld>(input.width(), input.height(),
                                                         input.bytesPerChannel(), 0, 0);
    frame.capture = std::make_unique<FrameCapture>(request.keepViews);
    for (int i = 0; i < std::max(1, request.repeat); ++i)
        renderThrough(host, input, *frame.output, request.kind, request.downsample,
                      frame.capture.get());
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
        const auto marked = [render](const std::vector<bool>& perRender) {
            return render >= 1 && render <= perRender.size() && perRender[render - 1];
        };
        const char* note = "";
        if (stage == "propagation" && marked(capture.reused))
            note = " (reused)";
        if (stage == "blend" && marked(capture.blendKept))
            note = " (changed zones only)";
        char line[96];
        std::snprintf(line, sizeof line, "%-12s %10.3f ms%s\n", stage.c_str(), ms, note);
        out << line;
    }
}

} // namespace zpcli
