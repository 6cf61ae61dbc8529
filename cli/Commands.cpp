#include "cli/Commands.h"

#include <map>
#include <string>

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

// One "N[/D]" factor of the value `given` names.
void parseFactor(const std::string& text, const std::string& given, int32_t& num, int32_t& den) {
    auto number = [&](const std::string& part) -> int32_t {
        if (part.empty() || part.size() > 4 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError(given +
                             ": expected N or N/D with whole numbers 1..1000, e.g. 1/2 or 1/2,1/4");
        return static_cast<int32_t>(std::stoi(part));
    };
    const size_t slash = text.find('/');
    num = number(text.substr(0, slash));
    den = slash == std::string::npos ? 1 : number(text.substr(slash + 1));
    if (num < 1 || den < 1 || num > 1000 || den > 1000)
        throw UsageError(given + ": N and D must lie in 1..1000");
    if (num > den)
        throw UsageError(given +
                         ": a host reduces layers, it never enlarges them; N must not exceed D");
}

} // namespace

PluginError::PluginError(PF_Err err, const std::string& during)
    : std::runtime_error(describeError(err, during)), code(err) {}

Downsample parseDownsample(const std::string& text, const std::string& given) {
    const std::string named = given.empty() ? "--downsample " + text : given;
    Downsample ds;
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        parseFactor(text, named, ds.numX, ds.denX);
        ds.numY = ds.numX;
        ds.denY = ds.denX;
    } else {
        parseFactor(text.substr(0, comma), named, ds.numX, ds.denX);
        parseFactor(text.substr(comma + 1), named, ds.numY, ds.denY);
    }
    return ds;
}

int32_t fullResolutionHeight(int32_t height, const Downsample& ds) {
    // height * den / num to nearest, in integers: no float rounding decides a pixel row.
    const int64_t n = int64_t{height} * ds.denY;
    return static_cast<int32_t>((2 * n + ds.numY) / (2 * int64_t{ds.numY}));
}

std::optional<View> viewNamed(const std::string& name) {
    static const std::map<std::string, View> views = {{"image", View::Image},
                                                      {"strokes", View::Strokes},
                                                      {"labels", View::Labels},
                                                      {"weights", View::Weights}};
    const auto it = views.find(name);
    if (it == views.end())
        return std::nullopt;
    return it->second;
}

} // namespace zpcli
