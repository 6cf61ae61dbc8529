// A file name that may stand for one file per frame. The frame token is a run of '#' or of '@'
// (one digit per character: "shot.####.exr" and "shot.@@@@.exr" name shot.1001.exr) or printf's
// "%d" and "%0Nd" ("shot.%04d.exr").
// Numbers are padded with zeros to the token's width; a negative frame keeps its minus sign
// within that width, as printf pads it ("-005" for -5 and ####). "%%" is a literal '%'.
#pragma once

#include <string>

namespace zpcli {

class FramePattern {
public:
    // Reads `name`. Throws UsageError, naming `option`, for more than one token, a '%' that
    // starts no token ("%s", "%-4d", "%4d", "%"), or a token wider than 9 digits.
    FramePattern(const std::string& name, const std::string& option);

    bool hasToken() const { return tokenLength_ > 0; }
    // The name of `frame`'s file; without a token, the name (with "%%" read as '%').
    std::string expand(int frame) const;
    // The name as given.
    const std::string& text() const { return text_; }

private:
    std::string text_;
    std::string before_, after_; // the name around the token, "%%" already read as '%'
    size_t tokenLength_ = 0;
    int width_ = 0; // digits the number is padded to; 0 for "%d" (no padding)
};

} // namespace zpcli
