#include "python/Session.h"

#include "cli/Views.h"
#include "headless/Scene.h"

namespace zppy {

namespace {

using Json = nlohmann::ordered_json;

// Overrides arrive as the JSON of a Python dict; they are merged into the scene document and the
// result read by the scene reader, so they are checked exactly as a scene's values are.
constexpr const char* kOverrideSource = "params";
constexpr const char* kNoOverrides = "{}";

std::string withOverrides(const Json& scene, const std::string& paramsJson) {
    Json overrides;
    try {
        overrides = Json::parse(paramsJson);
    } catch (const Json::exception& e) {
        throw headless::SceneError(std::string(kOverrideSource) + ": malformed JSON: " + e.what());
    }
    if (!overrides.is_object())
        throw headless::SceneError(std::string(kOverrideSource) +
                                   ": expected an object of parameter groups and controls");
    Json doc = scene;
    Json& params = doc["params"];
    if (params.is_null())
        params = Json::object();
    for (const auto& [key, value] : overrides.items()) {
        auto group = params.find(key);
        // A group's controls are overridden one by one; anything else replaces what is there.
        if (value.is_object() && group != params.end() && group->is_object()) {
            for (const auto& [control, v] : value.items())
                (*group)[control] = v;
        } else {
            params[key] = value;
        }
    }
    return doc.dump();
}

// NAME or NAME:N, as the command line's --fail-host-call takes it.
std::unique_ptr<zpcli::EffectInstance> instanceFailing(const std::string& failHostCall) {
    const size_t colon = failHostCall.rfind(':');
    if (colon == std::string::npos)
        return std::make_unique<zpcli::EffectInstance>(failHostCall);
    int64_t nth = 1;
    try {
        nth = std::stoll(failHostCall.substr(colon + 1));
    } catch (const std::exception&) {
        throw zpcli::UsageError("fail_host_call: expected NAME or NAME:N");
    }
    return std::make_unique<zpcli::EffectInstance>(failHostCall.substr(0, colon), nth);
}

} // namespace

Session::Session(const std::string& sceneText, const std::string& source,
                 const std::string& failHostCall)
    : instance_(instanceFailing(failHostCall)) {
    setScene(sceneText, source);
}

void Session::setScene(const std::string& sceneText, const std::string& source) {
    std::lock_guard lock(mutex_);
    requireOpen();
    headless::Host& host = instance_->host();
    headless::applyScene(headless::parseScene(sceneText, source, host), host);
    // The reader has refused repeated keys, excess nesting and everything else, so the plain
    // parser sees a sound document here.
    scene_ = Json::parse(sceneText);
    sceneText_ = sceneText;
    source_ = source;
    applied_ = kNoOverrides;
}

void Session::applyWith(const std::string& paramsJson) {
    if (paramsJson == applied_)
        return;
    headless::Host& host = instance_->host();
    const bool bare = paramsJson == kNoOverrides;
    const std::string text = bare ? sceneText_ : withOverrides(scene_, paramsJson);
    headless::applyScene(headless::parseScene(text, bare ? source_ : kOverrideSource, host), host);
    applied_ = paramsJson;
}

std::unique_ptr<headless::HostWorld> Session::render(headless::HostWorld& input,
                                                     const std::string& paramsJson,
                                                     const zpcli::Downsample& downsample,
                                                     zpcli::View view) {
    std::lock_guard lock(mutex_);
    requireOpen();
    last_.reset();
    applyWith(paramsJson);
    auto output = std::make_unique<headless::HostWorld>(input.width(), input.height(),
                                                        input.bytesPerChannel(), 0, 0);
    zpcli::FrameCapture capture(view != zpcli::View::Image);
    instance_->render(input, *output, zpcli::RenderKind::Smart, downsample, &capture);
    last_ = Timings{capture.times, !capture.reused.empty() && capture.reused.back(),
                    !capture.blendKept.empty() && capture.blendKept.back()};
    if (view == zpcli::View::Image)
        return output;
    return zpcli::makeView(view, input, capture);
}

std::string Session::sceneJson() {
    std::lock_guard lock(mutex_);
    requireOpen();
    return headless::sceneToJson(instance_->host());
}

std::optional<Timings> Session::lastTimings() {
    std::lock_guard lock(mutex_);
    return last_;
}

void Session::close() {
    std::lock_guard lock(mutex_);
    if (!instance_)
        return;
    const std::unique_ptr<zpcli::EffectInstance> instance = std::move(instance_);
    instance->close();
}

bool Session::closed() {
    std::lock_guard lock(mutex_);
    return instance_ == nullptr;
}

void Session::requireOpen() const {
    if (!instance_)
        throw zpcli::UsageError("the session is closed");
}

} // namespace zppy
