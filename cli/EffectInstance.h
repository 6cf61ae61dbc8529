// One instance of the effect linked into this program, in a headless host of its own: set up
// when made, torn down by close() or when it goes. Between the two it is one sequence, so
// renders after the first reuse the label map while the strokes and the picture stay the same.
//
// The host plays the part of the current host only on the thread that called into it last, so
// every call makes it current first; one instance takes calls from one thread at a time.
#pragma once

#include "cli/Commands.h"
#include "headless/Host.h"
#include "headless/Worlds.h"
#include "render/Pipeline.h"

#include <cstdint>
#include <string>

namespace zpcli {

class EffectInstance {
public:
    // `failHostCall` (empty for none) makes the host fail the nth call of that host function,
    // counted from setup on. Throws PluginError when setup fails.
    explicit EffectInstance(const std::string& failHostCall = {}, int64_t failHostCallNth = 1);
    // Tears down an instance not closed yet, ignoring what the effect answers.
    ~EffectInstance();
    EffectInstance(const EffectInstance&) = delete;
    EffectInstance& operator=(const EffectInstance&) = delete;

    // The host, made current on this thread (scenes are applied through it).
    headless::Host& host();

    // Renders `input` into `output` (the same size and depth) as the layer the host hands over
    // at `downsample`; `observer` (may be null) watches the frame. Throws PluginError when the
    // effect answers with an error, UsageError for a plain render of a float world.
    void render(headless::HostWorld& input, headless::HostWorld& output, RenderKind kind,
                const Downsample& downsample, PipelineObserver* observer);

    // Tears the instance down; throws PluginError when the effect answers with an error. Does
    // nothing the second time.
    void close();
    bool closed() const { return closed_; }

private:
    headless::Host host_;
    bool closed_ = false;
};

// Renders `input` into `output` through `host` (an instance's own host or a render-side host of
// one, cli/ShotInstance.h) as EffectInstance::render describes, on the calling thread.
void renderThrough(headless::Host& host, headless::HostWorld& input, headless::HostWorld& output,
                   RenderKind kind, const Downsample& downsample, PipelineObserver* observer);

} // namespace zpcli
