// What the effect says about itself: its about text and the parameters it declares, read from
// the real commands (about, global setup, parameter setup). `zonepainter info` prints it; the
// Python module hands it over as data.
#pragma once

#include "headless/Host.h"

#include <memory>
#include <string>
#include <vector>

namespace zpcli {

struct EffectDescription {
    std::string about;
    int numParams = 0; // as parameter setup reports it, the input layer included
    // As declared, group starts and ends included; entry i is parameter index i + 1.
    std::vector<headless::DeclaredParam> params;
};

// Sends about, global setup and parameter setup, then global setdown. Throws PluginError when
// the effect answers one of them with an error.
EffectDescription describeEffect(const std::shared_ptr<headless::Plugin>& plugin);

// The word `info` shows for a kind of parameter: "slider", "color", "popup", "checkbox",
// "mask", "group", "end", or "?" for a kind the effect does not declare.
const char* paramKindName(PF_ParamType type);

} // namespace zpcli
