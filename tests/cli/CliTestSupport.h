// Helpers for the command-line tool's tests: a scratch folder per test, the built tool run as
// a subprocess, and image files written and read with OpenImageIO directly (not through the
// tool's own code, so the tool is checked against an independent reader and writer).
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace clitest {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }
    // Names of the folder's entries, hidden ones included, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

struct RunResult {
    int exitCode = -1; // -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// Runs the built zonepainter with `args` (no shell), capturing its output streams.
RunResult runCli(const std::vector<std::string>& args);

// The built zonepainter running in the background with `args`, its output streams discarded;
// killed (SIGKILL) and reaped on destruction if still running.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;
    // True once the process has ended (reaping it).
    bool finished();
    void signal(int sig);
    // Waits for the end; the exit code, or -signal when a signal ended it.
    int wait();

private:
    int pid_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

// Samples as a file holds them: interleaved channels in the file's order.
struct RawImage {
    int width = 0, height = 0, channels = 0;
    OIIO::TypeDesc format;
    std::vector<uint8_t> bytes; // samples in `format`, as read with alpha left as stored
    template <typename S> const S* as() const { return reinterpret_cast<const S*>(bytes.data()); }
    template <typename S> S at(int x, int y, int c) const {
        return as<S>()[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                        static_cast<size_t>(x)) *
                           static_cast<size_t>(channels) +
                       static_cast<size_t>(c)];
    }
};

// Writes samples of `format` as stored (no premultiplication), alpha last when present, with
// `iccProfile` embedded when it is not empty.
void writeImage(const std::string& path, int width, int height, int channels, OIIO::TypeDesc format,
                const void* samples, const std::vector<uint8_t>& iccProfile = {});

// A small well-formed ICC v2 RGB display profile (white point, primaries, gamma 2.2 curves,
// description, copyright) with `privateTags` private text tags whose signatures depend on
// `variant`, so profiles of different variants carry tags of their own, as profiles from
// different sources do.
std::vector<uint8_t> iccProfile(int variant, int privateTags);
RawImage readImage(const std::string& path);

// A deterministic RGBA picture in the given sample type: gradients, flat areas, alpha from 0
// to full (colour kept where alpha is 0). 16-bit samples are file values of host values (the
// only 16-bit values the host can hand back unchanged). Float samples stray outside 0..1.
std::vector<uint8_t> testPicture(int width, int height, int channels, OIIO::TypeDesc format);

// A PNG file whose header claims width x height pixels and which holds no pixel data.
void writePngHeaderOnly(const std::string& path, uint32_t width, uint32_t height);

void writeText(const std::string& path, const std::string& text);
std::string readText(const std::string& path);

// A scene with one closed rectangle mask (x0, y0)-(x1, y1) chosen by "Adjust 1", with the
// given group settings, e.g. "\"Effects\": 50".
std::string rectangleScene(double x0, double y0, double x1, double y1, const std::string& settings);

} // namespace clitest
