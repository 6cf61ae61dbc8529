#include "tests/cli/CliTestSupport.h"

#include "cli/ImageIO.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace clitest {

ScratchDir::ScratchDir() {
    std::string tmpl = (fs::temp_directory_path() / "zp-cli-test-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

std::vector<char*> cliArgv(std::vector<std::string>& argv) {
    std::vector<char*> c;
    for (auto& a : argv)
        c.push_back(a.data());
    c.push_back(nullptr);
    return c;
}

} // namespace

RunResult runCli(const std::vector<std::string>& args) {
    ScratchDir streams;
    const std::string outPath = streams.file("stdout");
    const std::string errPath = streams.file("stderr");
    std::vector<std::string> argv{ZP_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv = cliArgv(argv);

    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int o = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0)
            ::_exit(127);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::execv(cargv[0], cargv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readText(outPath);
    r.err = readText(errPath);
    return r;
}

CliProcess::CliProcess(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ZP_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv = cliArgv(argv);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(cargv[0], cargv.data());
        ::_exit(127);
    }
}

CliProcess::~CliProcess() {
    if (!finished()) {
        signal(SIGKILL);
        wait();
    }
}

bool CliProcess::finished() {
    if (!reaped_ && ::waitpid(pid_, &status_, WNOHANG) == pid_)
        reaped_ = true;
    return reaped_;
}

void CliProcess::signal(int sig) {
    if (!reaped_)
        ::kill(pid_, sig);
}

int CliProcess::wait() {
    if (!reaped_ && ::waitpid(pid_, &status_, 0) == pid_)
        reaped_ = true;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -WTERMSIG(status_);
}

void writeImage(const std::string& path, int width, int height, int channels, OIIO::TypeDesc format,
                const void* samples) {
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out) << OIIO::geterror();
    OIIO::ImageSpec spec(width, height, channels, format);
    if (channels == 2 || channels == 4)
        spec.alpha_channel = channels - 1;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(out->open(path, spec)) << out->geterror();
    ASSERT_TRUE(out->write_image(format, samples)) << out->geterror();
    ASSERT_TRUE(out->close()) << out->geterror();
}

RawImage readImage(const std::string& path) {
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = OIIO::ImageInput::open(path, &config);
    if (!in)
        throw std::runtime_error("cannot open " + path + ": " + OIIO::geterror());
    RawImage img;
    const OIIO::ImageSpec& spec = in->spec();
    img.width = spec.width;
    img.height = spec.height;
    img.channels = spec.nchannels;
    img.format = spec.format;
    img.bytes.resize(spec.image_bytes());
    if (!in->read_image(0, 0, 0, img.channels, spec.format, img.bytes.data()))
        throw std::runtime_error("cannot read " + path + ": " + in->geterror());
    return img;
}

std::vector<uint8_t> testPicture(int width, int height, int channels, OIIO::TypeDesc format) {
    const size_t n =
        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels);
    std::vector<uint8_t> bytes(n * format.size());
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const size_t i =
                    (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                        static_cast<size_t>(channels) +
                    static_cast<size_t>(c);
                // Left half: smooth ramps; right half: noise, so every value range is met.
                const bool noisy = x >= width / 2;
                const float ramp = static_cast<float>((x * (c + 1) + y * 3) % 97) / 96.0f;
                const float unit = noisy ? static_cast<float>(next() % 10001) / 10000.0f : ramp;
                if (format == OIIO::TypeDesc::UINT8) {
                    bytes[i] = static_cast<uint8_t>(noisy ? next() % 256 : unit * 255.0f);
                } else if (format == OIIO::TypeDesc::UINT16) {
                    const auto host =
                        static_cast<uint16_t>(noisy ? next() % 32769 : unit * 32768.0f);
                    const uint16_t v = zpcli::hostToFile16(host);
                    std::memcpy(&bytes[2 * i], &v, 2);
                } else {
                    const float v = noisy ? unit * 3.0f - 1.0f : unit;
                    std::memcpy(&bytes[4 * i], &v, 4);
                }
            }
        }
    }
    return bytes;
}

namespace {

uint32_t crc32(const uint8_t* data, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8)
        v.push_back(static_cast<uint8_t>(x >> s));
}

void chunk(std::vector<uint8_t>& file, const char* type, const std::vector<uint8_t>& data) {
    put32(file, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    file.insert(file.end(), body.begin(), body.end());
    put32(file, crc32(body.data(), body.size()));
}

} // namespace

void writePngHeaderOnly(const std::string& path, uint32_t width, uint32_t height) {
    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, deflate, no filter, no interlace
    chunk(file, "IHDR", ihdr);
    // libpng reads chunks up to the first IDAT for the header; this one holds no image.
    chunk(file, "IDAT", {0x78, 0x9c});
    chunk(file, "IEND", {});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string rectangleScene(double x0, double y0, double x1, double y1,
                           const std::string& settings) {
    std::ostringstream s;
    s << R"({"masks": [{"name": "Box", "closed": true, "vertices": [)"
      << "{\"x\": " << x0 << ", \"y\": " << y0 << "}, {\"x\": " << x1 << ", \"y\": " << y0
      << "}, {\"x\": " << x1 << ", \"y\": " << y1 << "}, {\"x\": " << x0 << ", \"y\": " << y1
      << "}]}], \"params\": {\"Adjust 1\": {\"Mask\": \"Box\""
      << (settings.empty() ? "" : ", " + settings) << "}}}";
    return s.str();
}

} // namespace clitest
