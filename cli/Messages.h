// Every message the tool prints is one line starting with "zonepainter:"; text from the
// libraries it uses (OpenImageIO, CLI11) is folded into such lines.
#pragma once

#include <string>

namespace zpcli {

// `text` on one line: line breaks inside become spaces, trailing ones and spaces go; empty text
// becomes "unknown error".
std::string oneLine(std::string text);

} // namespace zpcli

namespace zpcli {

// For the tool's lifetime, what libraries write to stderr themselves (libpng's "libpng error:
// ..." among them) becomes lines of ours: each line starting "zonepainter: ", a line left
// unfinished ended before the tool's next message, in the order it was written. The tool's own
// stream (std::cerr) keeps writing to the terminal or log directly, so a progress bar is drawn
// as before. libpng's error lines are dropped: OpenImageIO hands the same text back as its
// error, which the tool's own message carries. Restored, with everything relayed, when the
// object goes. For programs only: a library leaves the process's stderr to its host.
class StderrRelay {
public:
    StderrRelay();
    ~StderrRelay();
    StderrRelay(const StderrRelay&) = delete;
    StderrRelay& operator=(const StderrRelay&) = delete;

private:
    struct State;
    State* state_ = nullptr;
};

} // namespace zpcli
