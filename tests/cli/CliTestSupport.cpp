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
#include <utility>

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
                const void* samples, const std::vector<uint8_t>& iccProfile) {
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out) << OIIO::geterror();
    OIIO::ImageSpec spec(width, height, channels, format);
    if (channels == 2 || channels == 4)
        spec.alpha_channel = channels - 1;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (!iccProfile.empty())
        spec.attribute("ICCProfile",
                       OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(iccProfile.size())),
                       iccProfile.data());
    ASSERT_TRUE(out->open(path, spec)) << out->geterror();
    ASSERT_TRUE(out->write_image(format, samples)) << out->geterror();
    ASSERT_TRUE(out->close()) << out->geterror();
}

std::vector<uint8_t> iccProfile(int variant, int privateTags) {
    // Laid out by hand from the ICC.1 v2 layout: a 128-byte header, a tag count and table, then
    // the tag data, every number big-endian and every tag 4-byte aligned.
    std::vector<uint8_t> profile(128, 0);
    const auto put32 = [](std::vector<uint8_t>& v, size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (24 - 8 * i));
    };
    const auto put4 = [&](size_t at, const char* code) {
        std::copy(code, code + 4, profile.begin() + static_cast<std::ptrdiff_t>(at));
    };
    profile[8] = 2; // version 2.1
    profile[9] = 0x10;
    put4(12, "mntr");
    put4(16, "RGB ");
    put4(20, "XYZ ");
    put4(36, "acsp");
    put4(40, variant % 2 ? "APPL" : "MSFT");
    put32(profile, 68, 0xF6D6); // the D50 illuminant, s15Fixed16: libpng checks it
    put32(profile, 72, 0x10000);
    put32(profile, 76, 0xD32D);

    const auto xyz = [&](uint32_t x, uint32_t y, uint32_t z) {
        std::vector<uint8_t> d = {'X', 'Y', 'Z', ' ', 0, 0, 0, 0};
        d.resize(20);
        put32(d, 8, x);
        put32(d, 12, y);
        put32(d, 16, z);
        return d;
    };
    const std::vector<uint8_t> curve = {'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 1, 0x02, 0x33};
    const std::vector<uint8_t> text = {'t', 'e', 'x', 't', 0, 0, 0, 0, 't', 'e', 's', 't', 0};
    std::vector<uint8_t> desc = {'d', 'e', 's', 'c', 0, 0, 0, 0, 0, 0, 0, 5, 't', 'e', 's', 't', 0};
    desc.resize(desc.size() + 12 + 67, 0); // no Unicode or ScriptCode description
    std::vector<std::pair<std::string, std::vector<uint8_t>>> tags = {
        {"desc", desc},
        {"cprt", text},
        {"wtpt", xyz(0xF351, 0x10000, 0x116CC)},
        {"rXYZ", xyz(0x6FA2, 0x38F5, 0x0390)},
        {"gXYZ", xyz(0x6299, 0xB785, 0x18DA)},
        {"bXYZ", xyz(0x24A0, 0x0F84, 0xB6CF)},
        {"rTRC", curve},
        {"gTRC", curve},
        {"bTRC", curve},
    };
    for (int i = 0; i < privateTags; ++i) {
        const int n = (variant * 37 + i) % 1000;
        const std::string code = {
            static_cast<char>('a' + variant % 26), static_cast<char>('0' + n / 100),
            static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
        tags.emplace_back(code, text);
    }

    std::vector<uint8_t> table(4 + 12 * tags.size()), data;
    put32(table, 0, static_cast<uint32_t>(tags.size()));
    const size_t dataStart = profile.size() + table.size();
    for (size_t i = 0; i < tags.size(); ++i) {
        std::copy(tags[i].first.begin(), tags[i].first.end(), table.begin() + 4 + 12 * i);
        put32(table, 8 + 12 * i, static_cast<uint32_t>(dataStart + data.size()));
        put32(table, 12 + 12 * i, static_cast<uint32_t>(tags[i].second.size()));
        data.insert(data.end(), tags[i].second.begin(), tags[i].second.end());
        data.resize((data.size() + 3) / 4 * 4, 0);
    }
    profile.insert(profile.end(), table.begin(), table.end());
    profile.insert(profile.end(), data.begin(), data.end());
    put32(profile, 0, static_cast<uint32_t>(profile.size()));
    return profile;
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
