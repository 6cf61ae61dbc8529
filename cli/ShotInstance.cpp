#include "cli/ShotInstance.h"

#include "cli/EffectInstance.h"
#include "headless/MultiFrame.h"
#include "headless/Scene.h"

#include <utility>

namespace zpcli {

// The instance the host's user works in (the UI side) and its render copy.
struct ShotInstance::Copy {
    explicit Copy(const std::string& sharedScene) {
        if (!sharedScene.empty())
            headless::loadSceneFile(sharedScene, ui.host());
        renderer = std::make_unique<headless::MultiFrameRenderer>(ui.host());
        // A command-line run is a render-only project: nothing will edit the instance.
        const PF_Err err = renderer->copyInstance(true);
        if (err != PF_Err_NONE)
            throw PluginError(err, "copying the sequence for rendering");
    }
    ~Copy() {
        // The copy goes before the instance it was made from.
        renderer.reset();
    }
    EffectInstance ui;
    std::unique_ptr<headless::MultiFrameRenderer> renderer;
};

ShotInstance::ShotInstance(std::string sharedScene) : sharedScene_(std::move(sharedScene)) {}

ShotInstance::~ShotInstance() = default;

ShotInstance::Copy& ShotInstance::copyFor(int bytesPerChannel) {
    const size_t slot = bytesPerChannel == 1 ? 0 : bytesPerChannel == 2 ? 1 : 2;
    // Making a copy sets an instance up through its host; frames of other depths wait for it,
    // which they would do for the cores anyway. A copy that failed is tried again by the next
    // frame of its depth, which then fails with the same error on its own account.
    std::lock_guard<std::mutex> lock(copiesMutex_);
    if (!copies_[slot])
        copies_[slot] = std::make_unique<Copy>(sharedScene_);
    return *copies_[slot];
}

Frame ShotInstance::render(headless::HostWorld& input, const FrameRequest& request, A_long time) {
    if (request.kind == RenderKind::Plain && input.bytesPerChannel() == 4)
        throw UsageError(kPlainFloatMessage);
    Copy& copy = copyFor(input.bytesPerChannel());
    headless::Host& host = copy.renderer->frameHost();
    host.inData().current_time = time;
    host.faults.clear();
    if (!request.failHostCall.empty())
        host.faults.failCall(request.failHostCall, request.failHostCallNth);
    if (sharedScene_.empty())
        headless::loadSceneFile(request.scenePath, host);
    return renderOn(host, input, request);
}

} // namespace zpcli
