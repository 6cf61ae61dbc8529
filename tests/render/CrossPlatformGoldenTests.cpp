// The shared frame (tests/support/CrossRenderScene.h) rendered by this build and compared with
// the Windows build's render of it. scripts/windows-test.sh runs the Windows test host under
// Wine, which leaves its renders in a folder, then runs these tests with ZP_WINDOWS_RENDER_DIR
// naming that folder; without the variable the comparison is skipped.
//
// 8-bit and 16-bit pixels must be identical. Float pixels may differ in the last bits, as the
// two C runtimes' exp/pow/sqrt need not round alike; the differences are reported and only
// large ones fail.
#include "tests/support/CrossRenderScene.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Renders = std::map<int, std::vector<uint8_t>>;

// Beyond this the float paths disagree by more than rounding: relative to the value, or
// absolute below 1.0 where a last-bit difference of a tiny value is large relative to it.
constexpr double kFloatTolerance = 1e-4;

// The same command sequence as the Windows test host: setups, the scene at every depth,
// setdowns. `adjust` may change parameters after the scene's are applied.
template <typename Adjust> Renders renderNative(Adjust adjust) {
    auto host = zptest::newHost();
    Renders out;
    EXPECT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE);
    crossrender::applyScene(*host);
    adjust(*host);
    for (const int depth : crossrender::kBitdepths) {
        const crossrender::SceneRender r = crossrender::renderScene(*host, depth);
        EXPECT_EQ(r.err, PF_Err_NONE) << depth << " bits";
        EXPECT_TRUE(r.canariesIntact) << depth << " bits";
        EXPECT_NE(r.output, r.input) << depth << " bits: the scene corrects something";
        out[depth] = r.output;
    }
    EXPECT_EQ(host->send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    EXPECT_EQ(host->liveHandles(), 0);
    return out;
}

Renders renderNative() {
    return renderNative([](headless::Host&) {});
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return {};
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

template <typename T> std::vector<T> values(const std::vector<uint8_t>& bytes) {
    std::vector<T> v(bytes.size() / sizeof(T));
    std::memcpy(v.data(), bytes.data(), v.size() * sizeof(T));
    return v;
}

// "(x, y) channel" of a channel value's position in a packed frame.
std::string where(size_t i) {
    static const char* const kChannels[] = {"alpha", "red", "green", "blue"};
    const size_t pixel = i / 4;
    std::ostringstream s;
    s << "(" << pixel % crossrender::kWidth << ", " << pixel / crossrender::kWidth << ") "
      << kChannels[i % 4];
    return s.str();
}

// Integer depths: every channel value equal. On failure says how many differ and by how much.
template <typename T>
void expectIdentical(const std::vector<uint8_t>& nativeBytes, const std::vector<uint8_t>& winBytes,
                     int depth) {
    const std::vector<T> n = values<T>(nativeBytes);
    const std::vector<T> w = values<T>(winBytes);
    size_t differing = 0, first = 0;
    int maxDiff = 0;
    for (size_t i = 0; i < n.size(); ++i) {
        const int d = std::abs(static_cast<int>(n[i]) - static_cast<int>(w[i]));
        if (d == 0)
            continue;
        if (differing++ == 0)
            first = i;
        maxDiff = std::max(maxDiff, d);
    }
    std::cout << depth << "-bit: " << differing << " of " << n.size()
              << " channel values differ between Linux and Windows\n";
    EXPECT_EQ(differing, 0u) << depth << "-bit: largest difference " << maxDiff << ", first at "
                             << where(first) << ": Linux " << +n[first] << ", Windows "
                             << +w[first];
}

struct FloatComparison {
    size_t count = 0;
    size_t differing = 0;
    size_t beyondTolerance = 0;
    size_t worst = 0; // position of the largest tolerance-scaled difference
    double maxAbs = 0;
    double maxRel = 0; // relative to max(1, |value|)
    bool finiteMismatch = false;
};

FloatComparison compareFloats(const std::vector<float>& n, const std::vector<float>& w) {
    FloatComparison c;
    c.count = n.size();
    for (size_t i = 0; i < n.size(); ++i) {
        if (std::memcmp(&n[i], &w[i], sizeof(float)) == 0)
            continue;
        ++c.differing;
        if (!std::isfinite(n[i]) || !std::isfinite(w[i])) {
            // Two NaNs of different payloads are the same result; anything else is not.
            if (!(std::isnan(n[i]) && std::isnan(w[i]))) {
                c.finiteMismatch = true;
                ++c.beyondTolerance;
                c.worst = i;
            }
            continue;
        }
        const double abs = std::fabs(static_cast<double>(n[i]) - static_cast<double>(w[i]));
        const double rel = abs / std::max(1.0, std::fabs(static_cast<double>(n[i])));
        c.maxAbs = std::max(c.maxAbs, abs);
        if (rel > c.maxRel) {
            c.maxRel = rel;
            if (!c.finiteMismatch)
                c.worst = i;
        }
        if (rel > kFloatTolerance)
            ++c.beyondTolerance;
    }
    return c;
}

// --- the comparison with the Windows build ---------------------------------------------------

TEST(CrossPlatformRender, WindowsBuildRendersTheSameFrame) {
    const char* dir = std::getenv("ZP_WINDOWS_RENDER_DIR");
    if (dir == nullptr || *dir == '\0')
        GTEST_SKIP() << "ZP_WINDOWS_RENDER_DIR is not set (scripts/windows-test.sh sets it)";

    const Renders native = renderNative();
    for (const int depth : crossrender::kBitdepths) {
        SCOPED_TRACE(std::to_string(depth) + " bits");
        const std::string path = std::string(dir) + "/" + crossrender::outputFileName(depth);
        const std::vector<uint8_t> win = readBytes(path);
        const std::vector<uint8_t>& own = native.at(depth);
        if (win.size() != crossrender::outputBytes(depth) || own.size() != win.size()) {
            ADD_FAILURE() << path << " holds " << win.size() << " bytes, this build rendered "
                          << own.size() << ", expected " << crossrender::outputBytes(depth);
            continue;
        }
        if (depth == 8) {
            expectIdentical<uint8_t>(own, win, depth);
        } else if (depth == 16) {
            expectIdentical<uint16_t>(own, win, depth);
        } else {
            const std::vector<float> n = values<float>(own);
            const std::vector<float> w = values<float>(win);
            const FloatComparison c = compareFloats(n, w);
            std::cout << "float: " << c.differing << " of " << c.count
                      << " values differ between Linux and Windows; largest absolute difference "
                      << c.maxAbs << ", largest relative " << c.maxRel << "\n";
            RecordProperty("float_values_differing", static_cast<int>(c.differing));
            RecordProperty("float_max_abs_difference", std::to_string(c.maxAbs));
            EXPECT_EQ(c.beyondTolerance, 0u) << "worst at " << where(c.worst) << ": Linux "
                                             << n[c.worst] << ", Windows " << w[c.worst];
        }
    }
}

// --- the scene itself, on this build alone ---------------------------------------------------

TEST(CrossPlatformScene, RendersAreRepeatable) {
    // Repeated renders must agree bit for bit, floats included, or a difference between the
    // builds would say nothing.
    const Renders first = renderNative();
    const Renders second = renderNative();
    for (const int depth : crossrender::kBitdepths)
        EXPECT_EQ(first.at(depth), second.at(depth)) << depth << " bits";
}

} // namespace
