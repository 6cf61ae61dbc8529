// The Python module's session, without Python: one effect instance (one sequence) kept alive
// with a scene, rendering pictures with parameter overrides on top of that scene. Renders of
// the same picture whose overrides leave the strokes alone reuse the label map.
//
// Calls from several threads are safe: the session serialises them with its own lock, and its
// host is made current on the calling thread before any command. Nothing here touches Python,
// so the module calls it with the interpreter lock released.
#pragma once

#include "cli/Commands.h"
#include "cli/EffectInstance.h"
#include "headless/Worlds.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zppy {

// The stages of the last render, in the order they ran, whether the sequence's kept label map
// served it, and whether the blend kept with that map did (only changed zones blended again).
struct Timings {
    std::vector<std::pair<std::string, double>> stages;
    bool reused = false;
    bool blendReused = false;
};

class Session {
public:
    // Sets up the instance and applies the scene (`source` names it in messages). Throws
    // headless::SceneError for a bad scene, zpcli::PluginError when setup fails. For tests,
    // `failHostCall` names a host function whose first (NAME) or nth (NAME:N) call fails, as the
    // command line's hidden --fail-host-call does.
    Session(const std::string& sceneText, const std::string& source,
            const std::string& failHostCall = {});
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Checks and applies another scene; a refused one changes nothing.
    void setScene(const std::string& sceneText, const std::string& source);

    // Renders `input` with the scene, its parameters overridden by `paramsJson` (an object
    // shaped like a scene's "params", merged over the scene's: a group's controls one by one;
    // "{}" for none),
    // and returns what `view` shows, at the input's size and depth. Throws headless::SceneError
    // for bad overrides, zpcli::PluginError, or zpcli::UsageError when the session is closed.
    std::unique_ptr<headless::HostWorld> render(headless::HostWorld& input,
                                                const std::string& paramsJson,
                                                const zpcli::Downsample& downsample,
                                                zpcli::View view);

    // The state the host holds as a scene (headless::sceneToJson): the scene with the last
    // render's overrides.
    std::string sceneJson();
    // Empty before the first render.
    std::optional<Timings> lastTimings();

    // Tears the instance down (zpcli::PluginError when the effect reports an error there); the
    // session renders no more. Does nothing the second time.
    void close();
    bool closed();

private:
    void requireOpen() const;
    // Applies the scene with these overrides unless the host already holds exactly that.
    void applyWith(const std::string& paramsJson);

    std::mutex mutex_;
    std::unique_ptr<zpcli::EffectInstance> instance_;
    std::string sceneText_;
    nlohmann::ordered_json scene_; // the checked scene document
    std::string source_;
    // The overrides of the state the host holds ("{}" for the bare scene).
    std::string applied_;
    std::optional<Timings> last_;
};

} // namespace zppy
