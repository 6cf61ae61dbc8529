// Colour management around the effect: a picture converted from the colour space it is stored in
// to the space the effect should work in, and back, with OpenImageIO's conversions (the
// OpenColorIO config named by $OCIO, otherwise OpenImageIO's built-in linear, sRGB and Rec709).
#pragma once

#include "headless/Worlds.h"

#include <string>

namespace zpcli {

// Throws UsageError unless both spaces are empty (no conversion) or both are names (or roles)
// the colour configuration knows and a conversion between them exists. `fromOption` and
// `toOption` name the options in the message.
void checkColourSpaces(const std::string& from, const std::string& to,
                       const std::string& fromOption = "--colorspace",
                       const std::string& toOption = "--working-space");

// Whether a picture stored in `from` needs converting to work in `to`: both named and unequal.
bool convertsColour(const std::string& from, const std::string& to);

// Converts the world's colour (not its alpha, which is no colour and is never divided out) from
// `from` to `to`, in float; an 8- or 16-bit world is rounded back to its depth. Throws
// UsageError when the conversion can't be made.
void convertColour(headless::HostWorld& world, const std::string& from, const std::string& to);

} // namespace zpcli
