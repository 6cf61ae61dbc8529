// Scene files: the layer's masks and the effect's parameter values as a JSON document, read into
// a headless host after parameter setup (docs/scene-format.md describes the format).
//
// A scene is a complete state: applying it replaces the layer's masks with the scene's (none when
// it lists none) and sets every declared parameter, to the scene's value where the scene names
// one and to its declared default otherwise. Applying the same scene therefore gives the same
// state whatever the host held before.
//
// Reading is all or nothing: the whole document is checked against the host's declared
// parameters into a `Scene` first, and a scene with any problem changes nothing.
#pragma once

#include "headless/Host.h"
#include "headless/LayerMasks.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace headless {

// A scene that cannot be read or applied. what() names the source, where in the document the
// problem is (a JSON Pointer, or line and column for text that is not JSON) and the problem:
//   scene.json: /params/Adjust 1/Hue: 400 is outside -360..360
//   scene.json: line 3, column 5: malformed JSON: syntax error while parsing object ...
class SceneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Limits a scene is held to.
// Vertex coordinates and tangent offsets, in layer pixels at full resolution: |v| <= this.
inline constexpr double kSceneMaxCoordinate = 1e7;
// A mask's expansion in pixels: |v| <= this.
inline constexpr double kSceneMaxExpansion = 1e7;
// A mask name in bytes (UTF-8): what the host's mask-name buffer holds before its terminator.
inline constexpr int kSceneMaxMaskNameBytes = AEGP_MAX_MASK_NAME_SIZE - 1;
// Mask modes as the host numbers them: 0 (none) to 7.
inline constexpr int kSceneMaxMaskMode = 7;
// Arrays and objects inside one another, the scene object itself included. A real scene nests
// five deep; the bound keeps a hostile document from costing time and memory with its depth.
inline constexpr int kSceneMaxNesting = 64;
// A scene file in bytes. A thousand masks of a hundred vertices each take about 10 MB.
inline constexpr long long kSceneMaxFileBytes = 16LL << 20;

// A scene checked against one host's parameter list, ready to apply.
struct Scene {
    std::string source; // the name problems are reported under
    // The layer's masks in layer order; the path identifier of masks[i] is i + 1.
    std::vector<HostMask> masks;
    // One entry per declared parameter that holds a value (checkbox, colour, popup, float
    // slider, mask selector), in index order: the parameter index and its declaration with the
    // value fields set to the scene's value, or to the declared default where the scene names
    // none.
    std::vector<std::pair<int, PF_ParamDef>> values;
};

// A colour as a scene writes it: "#rrggbb", or "#aarrggbb" when alpha is not full.
std::string colorText(const PF_Pixel& color);

// The choices of a popup as the effect declares them ("Add|Normal|Screen"), in order; a scene
// names a choice by its text or its 1-based number in this list.
std::vector<std::string> popupChoiceList(const std::string& declaredText);

// Reads and checks a scene. `sourceName` is only used in messages. The host's parameter setup
// must have run (its declarations name the groups, controls, ranges and popup choices).
// Throws SceneError on any problem.
Scene parseScene(const std::string& jsonText, const std::string& sourceName, const Host& host);

// Replaces the layer's masks and sets every parameter value. Throws SceneError, changing
// nothing, when the scene was read against a different parameter list or when the effect still
// holds mask handles, streams or path checkouts (the masks can't change under them).
void applyScene(const Scene& scene, Host& host);

// The text of the scene file at `path` (messages name it as given). Throws SceneError when the
// file can't be read or is larger than kSceneMaxFileBytes.
std::string readSceneFile(const std::string& path);

// Reads the file at `path` (messages name it as given) and applies it. Throws SceneError,
// changing nothing, when the file can't be read, is larger than kSceneMaxFileBytes, or the scene
// is refused.
void loadSceneFile(const std::string& path, Host& host);

// Writes the host's current state as a scene: every mask, and the parameter values that differ
// from their declared defaults, groups in declaration order. Reading the result into a host with
// the same parameter list reproduces the state. A mask selector is written as the mask's name
// when that name picks the same mask, otherwise as its position. Throws SceneError for a state a
// scene can't describe (a mask colour whose alpha isn't 1).
std::string sceneToJson(Host& host);

} // namespace headless
