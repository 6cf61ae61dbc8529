#include "cli/ColourSpace.h"

#include "cli/Commands.h"
#include "cli/SampleConversion.h"

#include <OpenImageIO/color.h>
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/strutil.h>

#include <omp.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace zpcli {

namespace {

// One configuration for the process: reading an OpenColorIO config is not free, and
// OpenImageIO's conversions share it safely between threads.
OIIO::ColorConfig& config() {
    static OIIO::ColorConfig shared;
    return shared;
}

// A colour space's name (OpenColorIO compares them ignoring case) or a role such as
// scene_linear.
bool known(const std::string& name) {
    OIIO::ColorConfig& c = config();
    for (const std::string& space : c.getColorSpaceNames()) {
        if (OIIO::Strutil::iequals(space, name))
            return true;
    }
    const char* role = c.getColorSpaceNameByRole(name);
    return role && *role;
}

std::string knownNames() {
    std::string list;
    OIIO::ColorConfig& c = config();
    for (int i = 0; i < c.getNumColorSpaces(); ++i)
        list += (i ? ", " : "") + std::string(c.getColorSpaceNameByIndex(i));
    return list;
}

} // namespace

bool convertsColour(const std::string& from, const std::string& to) {
    return !from.empty() && !to.empty() && from != to;
}

void checkColourSpaces(const std::string& from, const std::string& to,
                       const std::string& fromOption, const std::string& toOption) {
    if (from.empty() != to.empty())
        throw UsageError(fromOption + " and " + toOption +
                         " go together: the picture's space and the space the effect works in");
    if (from.empty())
        return;
    const char* where = std::getenv("OCIO") ? "the OpenColorIO config $OCIO names"
                                            : "OpenImageIO's built-in spaces ($OCIO is not set)";
    for (const auto& [name, option] : {std::pair{&from, &fromOption}, std::pair{&to, &toOption}}) {
        if (!known(*name))
            throw UsageError(*option + " " + *name + ": no such colour space in " + where +
                             "; known: " + knownNames());
    }
    if (convertsColour(from, to) && !config().createColorProcessor(from, to))
        throw UsageError(fromOption + " " + from + " " + toOption + " " + to +
                         ": no conversion between these colour spaces");
}

void convertColour(headless::HostWorld& world, const std::string& from, const std::string& to) {
    const int w = world.width();
    const int h = world.height();
    std::vector<float> samples(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    worldToSamples(world, 4, samples.data());
    OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::FLOAT);
    spec.alpha_channel = 3;
    OIIO::ImageBuf buf(spec, samples.data());
    // Red, green and blue only, never divided by alpha: the tool keeps alpha as stored.
    OIIO::ROI colour = buf.roi();
    colour.chend = 3;
    if (!OIIO::ImageBufAlgo::colorconvert(buf, buf, from, to, false, "", "", &config(), colour,
                                          omp_get_max_threads()))
        throw UsageError("cannot convert colour from " + from + " to " + to + ": " +
                         buf.geterror());
    samplesToWorld(samples.data(), 4, world);
}

} // namespace zpcli
