#include "cli/EffectInstance.h"

#include "cli/Views.h"
#include "effect/Command.h"

namespace zpcli {

EffectInstance::EffectInstance(const std::string& failHostCall, int64_t failHostCallNth)
    // The effect linked into this program, not a loaded copy: only this one reports to the
    // pipeline observer.
    : host_(headless::Plugin::fromCommand(&command)) {
    host_.makeCurrent();
    if (!failHostCall.empty())
        host_.faults.failCall(failHostCall, failHostCallNth);
    const PF_Err err = host_.setupInstance();
    if (err != PF_Err_NONE) {
        // Whatever setup made is given back before the error is reported.
        (void)host_.teardownInstance();
        closed_ = true;
        throw PluginError(err, "instance setup");
    }
}

EffectInstance::~EffectInstance() {
    if (!closed_) {
        host_.makeCurrent();
        (void)host_.teardownInstance();
    }
}

headless::Host& EffectInstance::host() {
    host_.makeCurrent();
    return host_;
}

void EffectInstance::render(headless::HostWorld& input, headless::HostWorld& output,
                            RenderKind kind, const Downsample& ds, PipelineObserver* observer) {
    renderThrough(host_, input, output, kind, ds, observer);
}

void renderThrough(headless::Host& host, headless::HostWorld& input, headless::HostWorld& output,
                   RenderKind kind, const Downsample& ds, PipelineObserver* observer) {
    const bool plain = kind == RenderKind::Plain;
    if (plain && input.bytesPerChannel() == 4)
        throw UsageError(kPlainFloatMessage);
    host.makeCurrent();
    // The input is the layer as the host hands it at this resolution; masks and the layer
    // height stay at full resolution.
    PF_InData& in = host.inData();
    in.downsample_x = PF_RationalScale{ds.numX, static_cast<A_u_long>(ds.denX)};
    in.downsample_y = PF_RationalScale{ds.numY, static_cast<A_u_long>(ds.denY)};
    in.height = fullResolutionHeight(input.height(), ds);

    PF_Err err = PF_Err_NONE;
    {
        ObserverScope observing(observer);
        auto& protocol = host.extension<headless::RenderProtocol>();
        err = plain ? protocol.renderPlain(input, output)
                    : protocol.renderSmart(input, output, 8 * input.bytesPerChannel());
    }
    if (err != PF_Err_NONE)
        throw PluginError(err, plain ? "render" : "smart render");
}

void EffectInstance::close() {
    if (closed_)
        return;
    closed_ = true;
    host_.makeCurrent();
    const PF_Err err = host_.teardownInstance();
    if (err != PF_Err_NONE)
        throw PluginError(err, "instance teardown");
}

} // namespace zpcli
