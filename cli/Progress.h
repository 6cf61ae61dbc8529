// What a sequence run says while it works, on one stream (stderr): on a terminal one line
// redrawn after every frame with a bar, frames done of the total, frames per second and the time
// left; elsewhere one plain line per frame ("frame 1001 done 412 ms"); or nothing. Failures are
// not progress: they are reported in every mode, on a line of their own.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace zpcli {

enum class ProgressMode {
    Auto, // Bar on a terminal, Plain otherwise
    Bar,
    Plain,
    None,
};

// Reads "auto", "bar", "plain" or "none". Throws UsageError.
ProgressMode parseProgressMode(const std::string& text);

// Not thread-safe: the caller reports one frame at a time.
class Progress {
public:
    // `mode` Auto must have been resolved by the caller (it knows whether `out` is a terminal).
    Progress(ProgressMode mode, int total, std::ostream& out);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void rendered(int frame, double ms);
    void skipped(int frame, const std::string& why);
    // One line of its own in every mode, "zonepainter: frame 1004: <reason>".
    void failed(int frame, const std::string& reason);
    // Anything else the run has to say about a frame (conversion notes, timings): written whole,
    // on lines of their own, never into the bar.
    void message(const std::string& text);
    // Takes the bar off the terminal so that other output (timings on stdout) can go there; the
    // next report draws it again.
    void clear();
    // Ends the bar's line; then the closing "done" line (Bar and Plain).
    void finish();

    int done() const { return done_; }

private:
    void advance();
    void drawBar();

    ProgressMode mode_;
    int total_;
    int done_ = 0;
    int rendered_ = 0;
    int skipped_ = 0;
    bool barShown_ = false;
    bool finished_ = false;
    std::ostream& out_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace zpcli
