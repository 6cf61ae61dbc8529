#include "cli/Progress.h"

#include "cli/Commands.h"

#include <cstdio>

namespace zpcli {

namespace {

constexpr int kBarWidth = 30;

std::string clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

} // namespace

ProgressMode parseProgressMode(const std::string& text) {
    if (text == "auto")
        return ProgressMode::Auto;
    if (text == "bar")
        return ProgressMode::Bar;
    if (text == "plain")
        return ProgressMode::Plain;
    if (text == "none")
        return ProgressMode::None;
    throw UsageError("--progress " + text + ": expected auto, bar, plain or none");
}

Progress::Progress(ProgressMode mode, int total, std::ostream& out)
    : mode_(mode), total_(total), out_(out), start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
    clear();
}

void Progress::rendered(int frame, double ms) {
    ++rendered_;
    if (mode_ == ProgressMode::Plain) {
        char line[64];
        std::snprintf(line, sizeof line, "zonepainter: frame %d done %.0f ms\n", frame, ms);
        out_ << line << std::flush;
    }
    advance();
}

void Progress::skipped(int frame, const std::string& why) {
    ++skipped_;
    if (mode_ == ProgressMode::Plain)
        out_ << "zonepainter: frame " << frame << " skipped: " << why << "\n" << std::flush;
    advance();
}

void Progress::failed(int frame, const std::string& reason) {
    clear();
    out_ << "zonepainter: frame " << frame << ": " << reason << "\n" << std::flush;
    advance();
}

void Progress::message(const std::string& text) {
    if (text.empty())
        return;
    clear();
    out_ << text;
    if (text.back() != '\n')
        out_ << "\n";
    out_ << std::flush;
    if (mode_ == ProgressMode::Bar)
        drawBar();
}

void Progress::clear() {
    if (barShown_) {
        out_ << "\r\033[K" << std::flush;
        barShown_ = false;
    }
}

void Progress::advance() {
    ++done_;
    if (mode_ == ProgressMode::Bar)
        drawBar();
}

void Progress::drawBar() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const int filled = total_ > 0 ? kBarWidth * done_ / total_ : kBarWidth;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    char line[160];
    if (done_ > 0 && elapsed > 0) {
        const double fps = done_ / elapsed;
        std::snprintf(line, sizeof line, "\r\033[K[%s] %d/%d frames  %.2f frames/s  %s left",
                      bar.c_str(), done_, total_, fps, clock((total_ - done_) / fps).c_str());
    } else {
        std::snprintf(line, sizeof line, "\r\033[K[%s] %d/%d frames", bar.c_str(), done_, total_);
    }
    out_ << line << std::flush;
    barShown_ = true;
}

void Progress::finish() {
    if (finished_)
        return;
    finished_ = true;
    clear();
    if (mode_ == ProgressMode::None)
        return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char line[160];
    if (rendered_ == 0)
        // A rate of nothing says nothing: a resumed shot with every output there says so.
        std::snprintf(line, sizeof line, "zonepainter: no frame rendered, %d skipped in %.1f s\n",
                      skipped_, elapsed);
    else
        std::snprintf(line, sizeof line,
                      "zonepainter: %d rendered, %d skipped in %.1f s (%.2f frames/s)\n", rendered_,
                      skipped_, elapsed, elapsed > 0 ? rendered_ / elapsed : 0.0);
    out_ << line << std::flush;
}

} // namespace zpcli
