// The built tool run as a user runs it: files in, files out, messages and exit codes.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

using clitest::RawImage;
using clitest::runCli;
using clitest::ScratchDir;
using OIIO::TypeDesc;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// --- round trips -------------------------------------------------------------------------------

struct RoundTrip {
    const char* file;
    TypeDesc format;
    int channels;
    const char* render;
};

void PrintTo(const RoundTrip& p, std::ostream* os) {
    *os << p.file << " " << p.format << " " << p.channels << " channels, " << p.render;
}

std::string name(const ::testing::TestParamInfo<RoundTrip>& info) {
    std::string n = std::string(info.param.file) + "_" + std::to_string(info.param.channels) +
                    "ch_" + info.param.render;
    for (char& c : n)
        if (c == '.')
            c = '_';
    return n;
}

class EmptySceneRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

// With no masks the effect hands the input back; the tool must not change a sample on the way
// in or out, alpha included (also where alpha is 0 and the colour is not).
TEST_P(EmptySceneRoundTrip, GivesTheInputBackExactly) {
    const RoundTrip& p = GetParam();
    ScratchDir dir;
    const int w = 37, h = 23;
    const auto samples = clitest::testPicture(w, h, p.channels, p.format);
    const std::string in = dir.file(std::string("in-") + p.file);
    const std::string out = dir.file(std::string("out-") + p.file);
    clitest::writeImage(in, w, h, p.channels, p.format, samples.data());
    clitest::writeText(dir.file("scene.json"), "{}");
    const auto r = runCli({"render", "--scene", dir.file("scene.json"), "--input", in, "--output",
                           out, "--render", p.render});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "") << "nothing to convert, nothing to say";
    const RawImage a = clitest::readImage(in);
    const RawImage b = clitest::readImage(out);
    EXPECT_EQ(b.format, a.format);
    ASSERT_EQ(b.channels, a.channels);
    ASSERT_EQ(b.width, w);
    ASSERT_EQ(b.height, h);
    EXPECT_TRUE(a.bytes == b.bytes) << "samples differ";
}

INSTANTIATE_TEST_SUITE_P(Formats, EmptySceneRoundTrip,
                         ::testing::Values(RoundTrip{"a.png", TypeDesc::UINT8, 4, "smart"},
                                           RoundTrip{"b.png", TypeDesc::UINT8, 4, "plain"},
                                           RoundTrip{"c.png", TypeDesc::UINT8, 3, "smart"},
                                           RoundTrip{"d.png", TypeDesc::UINT16, 4, "smart"},
                                           RoundTrip{"e.png", TypeDesc::UINT16, 4, "plain"},
                                           RoundTrip{"f.tif", TypeDesc::UINT16, 4, "smart"},
                                           RoundTrip{"g.tif", TypeDesc::UINT8, 4, "smart"},
                                           RoundTrip{"h.exr", TypeDesc::FLOAT, 4, "smart"},
                                           RoundTrip{"i.tif", TypeDesc::FLOAT, 4, "smart"}),
                         name);

TEST(Render, DepthOptionSetsTheWorldAndTheFileFollowsIt) {
    ScratchDir dir;
    const auto samples = clitest::testPicture(8, 8, 4, TypeDesc::UINT8);
    clitest::writeImage(dir.file("in.png"), 8, 8, 4, TypeDesc::UINT8, samples.data());
    clitest::writeText(dir.file("scene.json"), "{}");
    auto r = runCli({"render", "--scene", dir.file("scene.json"), "--input", dir.file("in.png"),
                     "--output", dir.file("o16.png"), "--depth", "16"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(clitest::readImage(dir.file("o16.png")).format, TypeDesc::UINT16);
    // 8 -> 16 -> 8 gives the 8-bit values back.
    r = runCli({"render", "--scene", dir.file("scene.json"), "--input", dir.file("o16.png"),
                "--output", dir.file("o8.png"), "--depth", "8"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(clitest::readImage(dir.file("o8.png")).bytes == samples);

    r = runCli({"render", "--scene", dir.file("scene.json"), "--input", dir.file("in.png"),
                "--output", dir.file("o32.png"), "--depth", "32"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "writing 16-bit")) << r.err;
    EXPECT_EQ(clitest::readImage(dir.file("o32.png")).format, TypeDesc::UINT16);

    r = runCli({"render", "--scene", dir.file("scene.json"), "--input", dir.file("in.png"),
                "--output", dir.file("o.jpg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "no alpha")) << r.err;
}

TEST(Render, ScenesChangeThePicture) {
    ScratchDir dir;
    const auto samples = clitest::testPicture(40, 40, 3, TypeDesc::UINT8);
    clitest::writeImage(dir.file("in.png"), 40, 40, 3, TypeDesc::UINT8, samples.data());
    clitest::writeText(dir.file("scene.json"),
                       clitest::rectangleScene(5, 5, 30, 30, "\"Brightness\": 60"));
    const auto r = runCli({"render", "--scene", dir.file("scene.json"), "--input",
                           dir.file("in.png"), "--output", dir.file("out.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RawImage out = clitest::readImage(dir.file("out.png"));
    EXPECT_EQ(out.channels, 3);
    EXPECT_FALSE(out.bytes == samples);
}

// --- views and timings ---------------------------------------------------------------------------

class ViewOption : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override {
        // Flat grey, 64 x 48.
        const std::vector<uint8_t> grey(64 * 48 * 3, 100);
        clitest::writeImage(dir.file("in.png"), 64, 48, 3, TypeDesc::UINT8, grey.data());
        clitest::writeText(dir.file("scene.json"),
                           clitest::rectangleScene(10, 10, 40, 30, "\"Effects\": 50"));
    }
    RawImage view(const std::string& which, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"render",
                                         "--scene",
                                         dir.file("scene.json"),
                                         "--input",
                                         dir.file("in.png"),
                                         "--output",
                                         dir.file(which + ".png"),
                                         "--view",
                                         which};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto r = runCli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return clitest::readImage(dir.file(which + ".png"));
    }
};

TEST_F(ViewOption, StrokesShowTheOutlineOverTheDimmedInput) {
    const RawImage v = view("strokes");
    ASSERT_EQ(v.channels, 3);
    ASSERT_EQ(v.width, 64);
    // On the left side of the rectangle: a label colour; inside: the input at a third.
    EXPECT_NE(v.at<uint8_t>(10, 20, 0), 33);
    EXPECT_EQ(v.at<uint8_t>(25, 20, 0), 33);
    EXPECT_EQ(v.at<uint8_t>(60, 40, 1), 33);
}

TEST_F(ViewOption, LabelsColourEveryReachedPixel) {
    const RawImage v = view("labels");
    ASSERT_EQ(v.channels, 3);
    // A flat picture: the one label reaches everywhere at cost 0, so every pixel has the
    // same full colour.
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(v.at<uint8_t>(0, 0, c), v.at<uint8_t>(63, 47, c));
        EXPECT_EQ(v.at<uint8_t>(0, 0, c), v.at<uint8_t>(20, 20, c));
    }
    EXPECT_GT(v.at<uint8_t>(0, 0, 0) + v.at<uint8_t>(0, 0, 1) + v.at<uint8_t>(0, 0, 2), 0);
}

TEST_F(ViewOption, WeightsShowTheEffectsAmount) {
    const RawImage v = view("weights");
    ASSERT_EQ(v.channels, 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(v.at<uint8_t>(30, 40, c), 127.5, 1.0);
        EXPECT_NEAR(v.at<uint8_t>(0, 0, c), 127.5, 1.0);
    }
}

TEST_F(ViewOption, DownsamplingScalesTheMasksOntoTheSmallerInput) {
    // The rectangle is in full-resolution coordinates; at 1/2 its left side lands on x = 5.
    const RawImage full = view("strokes");
    const RawImage half = view("strokes", {"--downsample", "1/2"});
    EXPECT_NE(full.at<uint8_t>(10, 20, 0), 33);
    EXPECT_EQ(full.at<uint8_t>(5, 10, 0), 33);
    EXPECT_NE(half.at<uint8_t>(5, 10, 0), 33);
    EXPECT_EQ(half.at<uint8_t>(10, 20, 0), 33);
    // x and y apart: halved across only.
    const RawImage across = view("strokes", {"--downsample", "1/2,1"});
    EXPECT_NE(across.at<uint8_t>(5, 20, 0), 33);
    EXPECT_EQ(across.at<uint8_t>(5, 5, 0), 33);
}

TEST_F(ViewOption, TimingsListEveryStage) {
    const auto r = runCli({"render", "--scene", dir.file("scene.json"), "--input",
                           dir.file("in.png"), "--output", dir.file("out.png"), "--timings"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    size_t at = 0;
    for (const char* stage :
         {"masks", "strokes", "intensity", "propagation", "copy", "blend", "effects", "alpha"}) {
        const size_t found = r.out.find(std::string(stage) + " ", at);
        ASSERT_NE(found, std::string::npos) << stage << " missing or out of order in\n" << r.out;
        const size_t eol = r.out.find('\n', found);
        EXPECT_TRUE(contains(r.out.substr(found, eol - found), " ms")) << r.out;
        at = eol;
    }
}

TEST_F(ViewOption, ARepeatedRenderReusesTheLabelMapAndWritesTheSameFrame) {
    const auto once = view("image", {});
    const auto r =
        runCli({"render", "--scene", dir.file("scene.json"), "--input", dir.file("in.png"),
                "--output", dir.file("twice.png"), "--timings", "--repeat", "2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const size_t first = r.out.find("render 1 of 2\n");
    const size_t second = r.out.find("render 2 of 2\n");
    ASSERT_NE(first, std::string::npos) << r.out;
    ASSERT_NE(second, std::string::npos) << r.out;
    const size_t cold = r.out.find("propagation", first);
    const size_t warm = r.out.find("propagation", second);
    EXPECT_LT(cold, second);
    EXPECT_FALSE(contains(r.out.substr(cold, r.out.find('\n', cold) - cold), "(reused)"));
    EXPECT_TRUE(contains(r.out.substr(warm, r.out.find('\n', warm) - warm), " ms (reused)"))
        << r.out;
    EXPECT_EQ(clitest::readImage(dir.file("twice.png")).bytes, once.bytes);
    EXPECT_EQ(runCli({"render", "--scene", dir.file("scene.json"), "--input", dir.file("in.png"),
                      "--output", dir.file("x.png"), "--repeat", "0"})
                  .exitCode,
              2);
}

// --- errors ----------------------------------------------------------------------------------

class Errors : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string scene, input, output;
    void SetUp() override {
        scene = dir.file("scene.json");
        input = dir.file("in.png");
        output = dir.file("out.png");
        clitest::writeText(scene, "{}");
        const auto px = clitest::testPicture(16, 16, 4, TypeDesc::UINT8);
        clitest::writeImage(input, 16, 16, 4, TypeDesc::UINT8, px.data());
    }
    // Runs the tool; checks the exit code, that stderr holds `words` on one line, and that
    // nothing new was left in the folder.
    void expectFailure(const std::vector<std::string>& args, int code, const std::string& words) {
        const auto before = dir.entries();
        const auto r = runCli(args);
        EXPECT_EQ(r.exitCode, code) << r.err;
        EXPECT_TRUE(contains(r.err, words)) << "stderr: " << r.err;
        EXPECT_EQ(dir.entries(), before) << "the failed run left files behind";
    }
    std::vector<std::string> render(const std::string& in, const std::string& out,
                                    const std::vector<std::string>& extra = {}) {
        std::vector<std::string> a = {"render", "--scene", scene, "--input", in, "--output", out};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
};

TEST_F(Errors, MissingOrUnreadableInput) {
    expectFailure(render(dir.file("nothing.png"), output), 2, "no such file");
    clitest::writeText(dir.file("junk.png"), "\x89PNG but not really");
    expectFailure(render(dir.file("junk.png"), output), 2, "cannot read");
    clitest::writeText(dir.file("notes.txt"), "hello");
    expectFailure(render(dir.file("notes.txt"), output), 2, "cannot read");
}

TEST_F(Errors, UnsupportedFormatsAndChannelCounts) {
    expectFailure(render(input, dir.file("out.bmp")), 2, "unsupported format");
    const std::vector<uint8_t> five(4 * 4 * 5, 9);
    clitest::writeImage(dir.file("five.tif"), 4, 4, 5, TypeDesc::UINT8, five.data());
    expectFailure(render(dir.file("five.tif"), output), 2, "5 channels");
}

TEST_F(Errors, OversizedImagesAreRefusedFromTheirHeader) {
    clitest::writePngHeaderOnly(dir.file("huge.png"), 60000, 60000);
    expectFailure(render(dir.file("huge.png"), output), 2, "at most 30000");
    clitest::writePngHeaderOnly(dir.file("tall.png"), 1, 30001);
    expectFailure(render(dir.file("tall.png"), output), 2, "1x30001");
}

TEST_F(Errors, MismatchedSizes) {
    auto out = OIIO::ImageOutput::create(dir.file("crop.exr"));
    OIIO::ImageSpec spec(4, 4, 4, TypeDesc::FLOAT);
    spec.full_width = spec.full_height = 6;
    const std::vector<float> px(4 * 4 * 4, 0.25f);
    ASSERT_TRUE(out->open(dir.file("crop.exr"), spec));
    ASSERT_TRUE(out->write_image(TypeDesc::FLOAT, px.data()));
    ASSERT_TRUE(out->close());
    expectFailure(render(dir.file("crop.exr"), dir.file("out.exr")), 2, "does not match");
}

TEST_F(Errors, SceneProblems) {
    clitest::writeText(scene, R"({"params": {"Adjust 1": {"Hue": 400}}})");
    expectFailure(render(input, output), 2, "/params/Adjust 1/Hue: 400 is outside -360..360");
    clitest::writeText(scene, "{ not json");
    expectFailure(render(input, output), 2, "malformed JSON");
    clitest::writeText(scene, std::string(200000, '[') + std::string(200000, ']'));
    expectFailure(render(input, output), 2, "nested deeper than 64 levels");
    std::filesystem::resize_file(scene, (16 << 20) + 1);
    expectFailure(render(input, output), 2, "larger than 16777216 bytes");
    std::filesystem::remove(scene);
    expectFailure(render(input, output), 2, "scene.json");
}

TEST_F(Errors, UsageProblems) {
    expectFailure({"render", "--input", input, "--output", output}, 2, "--scene");
    expectFailure(render(input, output, {"--depth", "12"}), 2, "--depth");
    expectFailure(render(input, output, {"--render", "quick"}), 2, "--render");
    expectFailure(render(input, output, {"--view", "mask"}), 2, "--view");
    expectFailure(render(input, output, {"--downsample", "2/1"}), 2, "--downsample");
    expectFailure(render(input, output, {"--downsample", "half"}), 2, "--downsample");
    expectFailure(render(input, output, {"--render", "plain", "--depth", "32"}), 2,
                  "plain render takes 8- or 16-bit");
    const std::vector<float> f(4 * 4 * 4, 0.5f);
    clitest::writeImage(dir.file("f.exr"), 4, 4, 4, TypeDesc::FLOAT, f.data());
    expectFailure(render(dir.file("f.exr"), dir.file("o.exr"), {"--render", "plain"}), 2,
                  "plain render takes 8- or 16-bit");
    expectFailure(render(input, dir.file("no/such/folder/out.png")), 2, "does not exist");
    expectFailure({"frobnicate"}, 2, "");
    expectFailure(render(input, output, {"--compression", "zip:x"}), 2, "--compression zip:x");
}

TEST_F(Errors, ExistingOutputsAndMissingFoldersAreTheUsersCall) {
    clitest::writeText(output, "precious");
    expectFailure(render(input, output, {"--no-overwrite"}), 2, "exists: not replaced");
    EXPECT_EQ(clitest::readText(output), "precious");
    expectFailure(render(input, output, {"--no-overwrite", "--skip-existing"}), 2, "excludes");
    expectFailure(render(input, dir.file("made/here/out.png")), 2, "add --mkdir");
    const auto made = runCli(render(input, dir.file("made/here/out.png"), {"--mkdir"}));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(clitest::readImage(dir.file("made/here/out.png")).width, 16);
    // By default an output is replaced, as oiiotool does.
    ASSERT_EQ(runCli(render(input, output)).exitCode, 0);
    EXPECT_EQ(clitest::readImage(output).width, 16);
}

// Every line on stderr is ours, whatever printed it: the option parser's complaints, and a
// library's own output (libpng reports a truncated colour profile on stderr by itself).
TEST_F(Errors, EveryMessageIsALineOfOurs) {
    const auto px = clitest::testPicture(16, 16, 3, TypeDesc::UINT8);
    clitest::writeImage(dir.file("icc.png"), 16, 16, 3, TypeDesc::UINT8, px.data(),
                        clitest::iccProfile(1, 4));
    std::string bytes = clitest::readText(dir.file("icc.png"));
    const size_t icc = bytes.find("iCCP");
    ASSERT_NE(icc, std::string::npos);
    clitest::writeText(dir.file("cut.png"), bytes.substr(0, icc + 40));
    // OpenImageIO 2.4 leaks its error text when libpng jumps out of its read callback on this
    // file. The sanitizer build suppresses that leak by the callback's name, which only a full
    // stack shows (libstdc++ has no frame pointers for the fast unwinder to follow).
    struct FullStacks {
        const char* was = std::getenv("ASAN_OPTIONS");
        const std::string before = was != nullptr ? was : "";
        FullStacks() { ::setenv("ASAN_OPTIONS", (before + ":fast_unwind_on_malloc=0").c_str(), 1); }
        ~FullStacks() {
            if (was != nullptr)
                ::setenv("ASAN_OPTIONS", before.c_str(), 1);
            else
                ::unsetenv("ASAN_OPTIONS");
        }
    } fullStacks;
    for (const auto& args :
         {render(dir.file("cut.png"), output), std::vector<std::string>{"render", "--bogus"},
          render(input, output, {"--view", "mask"})}) {
        const auto r = runCli(args);
        EXPECT_EQ(r.exitCode, 2);
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.back(), '\n') << r.err;
        std::istringstream lines(r.err);
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line.starts_with("zonepainter: ")) << r.err;
    }
    EXPECT_TRUE(contains(runCli(render(dir.file("cut.png"), output)).err,
                         "zonepainter: cannot read '" + dir.file("cut.png") + "'"));
}

// A linear float picture graded in sRGB: the same as converting it to sRGB with OpenImageIO,
// rendering that, and converting the result back.
TEST_F(Errors, ColourSpacesConvertThereAndBack) {
    clitest::writeText(scene, clitest::rectangleScene(2, 2, 12, 12, "\"Brightness\": 50"));
    auto px = clitest::testPicture(16, 16, 4, TypeDesc::FLOAT);
    auto* f = reinterpret_cast<float*>(px.data());
    for (size_t i = 0; i < px.size() / 4; ++i)
        f[i] = std::clamp(f[i], 0.0f, 1.0f);
    clitest::writeImage(dir.file("lin.exr"), 16, 16, 4, TypeDesc::FLOAT, px.data());
    const auto convert = [&](const std::string& from, const std::string& to, const std::string& in,
                             const std::string& out) {
        OIIO::ImageBuf buf(in);
        ASSERT_TRUE(buf.read(0, 0, true, TypeDesc::FLOAT));
        OIIO::ROI colour = buf.roi();
        colour.chend = 3;
        OIIO::ImageBuf converted = buf;
        ASSERT_TRUE(OIIO::ImageBufAlgo::colorconvert(converted, buf, from, to, false, "", "",
                                                     nullptr, colour));
        ASSERT_TRUE(converted.write(out, TypeDesc::FLOAT));
    };
    convert("linear", "sRGB", dir.file("lin.exr"), dir.file("srgb.exr"));
    ASSERT_EQ(runCli(render(dir.file("srgb.exr"), dir.file("graded.exr"))).exitCode, 0);
    convert("sRGB", "linear", dir.file("graded.exr"), dir.file("byhand.exr"));
    const auto r = runCli(render(dir.file("lin.exr"), dir.file("managed.exr"),
                                 {"--colorspace", "linear", "--working-space", "sRGB"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RawImage managed = clitest::readImage(dir.file("managed.exr"));
    EXPECT_EQ(managed.bytes, clitest::readImage(dir.file("byhand.exr")).bytes);
    ASSERT_EQ(runCli(render(dir.file("lin.exr"), dir.file("linear.exr"))).exitCode, 0);
    EXPECT_NE(managed.bytes, clitest::readImage(dir.file("linear.exr")).bytes)
        << "grading in sRGB differs from grading in linear";
    expectFailure(render(input, output, {"--colorspace", "sRGB", "--working-space", "nope"}), 2,
                  "--working-space nope: no such colour space");
    expectFailure(render(input, output, {"--colorspace", "sRGB"}), 2, "go together");
}

TEST_F(Errors, PluginErrorsCarryTheirCode) {
    expectFailure(render(input, output, {"--fail-host-call", "checkout_output"}), 1,
                  "error 4 (PF_Err_OUT_OF_MEMORY)");
    // The first suite asked for is the compute cache at global setup, which the effect can do
    // without; the second is one that sequence setup needs.
    expectFailure(render(input, output, {"--fail-host-call", "AcquireSuite:2"}), 1, "error 13");
}

TEST_F(Errors, AFailedRunLeavesAnExistingOutputAlone) {
    clitest::writeText(output, "precious");
    clitest::writeText(scene, R"({"params": {"Nope": {}}})");
    expectFailure(render(input, output), 2, "/params/Nope");
    EXPECT_EQ(clitest::readText(output), "precious");
    clitest::writeText(scene, "{}");
    expectFailure(render(input, output, {"--fail-host-call", "checkout_output"}), 1, "error 4");
    EXPECT_EQ(clitest::readText(output), "precious");
}

// --- demo ------------------------------------------------------------------------------------

TEST(Demo, WritesTheResultItsThreeViewsAndTheEffectsVersion) {
    ScratchDir dir;
    const std::string out = (dir.path() / "made" / "here").string();
    const auto r = runCli({"demo", "--output", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RawImage input =
        clitest::readImage(std::string(ZP_SOURCE_DIR) + "/examples/astronaut.png");
    for (const char* name :
         {"result.png", "strokes.png", "labels.png", "weights.png", "effects.png"}) {
        const std::string path = out + "/" + name;
        ASSERT_TRUE(std::filesystem::exists(path)) << name;
        const RawImage img = clitest::readImage(path);
        EXPECT_EQ(img.width, 512) << name;
        EXPECT_EQ(img.height, 512) << name;
        EXPECT_TRUE(contains(r.out, path)) << r.out;
    }
    EXPECT_FALSE(clitest::readImage(out + "/result.png").bytes == input.bytes)
        << "the demo scene changes the picture";
    EXPECT_FALSE(clitest::readImage(out + "/effects.png").bytes ==
                 clitest::readImage(out + "/result.png").bytes)
        << "blur, fill light and glow change the corrected picture";
    EXPECT_TRUE(contains(r.out, "propagation")) << r.out;
}

} // namespace
