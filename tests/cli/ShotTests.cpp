// Shots through the built tool: frame tokens and --frames, several frames at once, resuming,
// a run killed while writing, and frames that fail.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

using clitest::runCli;
using clitest::ScratchDir;
using OIIO::TypeDesc;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string numbered(const char* pattern, int frame) {
    char name[64];
    std::snprintf(name, sizeof name, pattern, frame);
    return name;
}

class Shot : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string scene = dir.file("scene.json");

    void SetUp() override {
        clitest::writeText(
            scene, clitest::rectangleScene(10, 10, 60, 40, "\"Brightness\": 40, \"Effects\": 60"));
    }
    // in.0001.png ...: the test picture, moved along by a different amount in every frame.
    void writeFrames(int width, int height, const std::vector<int>& frames) {
        for (int f : frames) {
            auto px = clitest::testPicture(width, height, 4, TypeDesc::UINT8);
            std::rotate(px.begin(), px.begin() + 52 * f, px.end());
            clitest::writeImage(dir.file(numbered("in.%04d.png", f)), width, height, 4,
                                TypeDesc::UINT8, px.data());
        }
    }
    std::vector<std::string> render(const std::vector<std::string>& extra) const {
        std::vector<std::string> a = {"render",
                                      "--scene",
                                      scene,
                                      "--input",
                                      dir.file("in.####.png"),
                                      "--output",
                                      dir.file("out.%04d.png")};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    std::string out(int frame) const { return dir.file(numbered("out.%04d.png", frame)); }
};

TEST_F(Shot, FramesRenderedTwoAtATimeMatchFramesRenderedOneByOne) {
    std::vector<int> frames;
    for (int f = 1; f <= 12; ++f)
        frames.push_back(f);
    writeFrames(160, 120, frames);
    const auto r = runCli(render({"--frames", "1-12", "--jobs", "2", "--timings"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto oneByOne = render({"--frames", "1-12", "--jobs", "1"});
    oneByOne[6] = dir.file("one.####.png");
    ASSERT_EQ(runCli(oneByOne).exitCode, 0);
    // The shot's frame is the picture's: frame 7 alone, as a still.
    ASSERT_EQ(runCli({"render", "--scene", scene, "--input", dir.file("in.0007.png"), "--output",
                      dir.file("still.png")})
                  .exitCode,
              0);
    EXPECT_EQ(clitest::readText(dir.file("one.0007.png")),
              clitest::readText(dir.file("still.png")));
    EXPECT_NE(clitest::readText(out(1)), clitest::readText(out(2)));

    for (int f : frames) {
        EXPECT_EQ(clitest::readText(out(f)),
                  clitest::readText(dir.file(numbered("one.%04d.png", f))))
            << "frame " << f;
        EXPECT_TRUE(contains(r.err, "frame " + std::to_string(f) + " done ")) << r.err;
        // Each frame's timings come whole under its heading: eight stages, masks first.
        const size_t heading = r.out.find("frame " + std::to_string(f) + "\nmasks ");
        ASSERT_NE(heading, std::string::npos) << r.out;
        std::istringstream block(r.out.substr(heading));
        std::string line;
        std::getline(block, line);
        int stages = 0;
        while (std::getline(block, line) && line.rfind("frame ", 0) != 0)
            ++stages;
        EXPECT_EQ(stages, 8) << "frame " << f << "\n" << r.out;
    }
    EXPECT_TRUE(contains(r.err, "12 rendered, 0 skipped")) << r.err;
}

TEST_F(Shot, SkipExistingRendersOnlyTheMissingFrames) {
    writeFrames(40, 30, {1, 2, 3, 4});
    ASSERT_EQ(runCli(render({"--frames", "1-4"})).exitCode, 0);
    const std::string first = clitest::readText(out(1));
    std::filesystem::remove(out(2));
    std::filesystem::remove(out(4));
    clitest::writeText(out(3), "kept");
    const auto r = runCli(render({"--frames", "1-4", "--skip-existing"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(clitest::readText(out(3)), "kept");
    EXPECT_EQ(clitest::readText(out(1)), first);
    EXPECT_EQ(clitest::readImage(out(2)).width, 40);
    EXPECT_EQ(clitest::readImage(out(4)).width, 40);
    EXPECT_TRUE(contains(r.err, "frame 1 skipped: '" + out(1) + "' exists")) << r.err;
    EXPECT_TRUE(contains(r.err, "frame 2 done ")) << r.err;
    EXPECT_TRUE(contains(r.err, "2 rendered, 2 skipped")) << r.err;
    // A run that finds every frame there says so, not a rate of nothing.
    const auto again = runCli(render({"--frames", "1-4", "--skip-existing"}));
    EXPECT_TRUE(contains(again.err, "zonepainter: no frame rendered, 4 skipped")) << again.err;
    // Told to keep what exists, a frame whose output exists fails with the reason.
    std::filesystem::remove(out(2));
    const auto kept = runCli(render({"--frames", "1-2", "--no-overwrite"}));
    EXPECT_EQ(kept.exitCode, 2) << kept.err;
    EXPECT_TRUE(contains(kept.err, "zonepainter: frame 1: '" + out(1) + "' exists: not replaced"))
        << kept.err;
    EXPECT_TRUE(kept.err.ends_with("1 of 2 frames failed: 1\n")) << kept.err;
    EXPECT_EQ(clitest::readText(out(1)), first);
    EXPECT_EQ(clitest::readImage(out(2)).width, 40);
}

// Kills the tool while it writes a frame: nothing may stand under a frame's own name unless it
// is the whole frame. SIGKILL leaves the hidden temporary file; SIGTERM removes it on the way.
TEST_F(Shot, AKilledRunLeavesNoPartialFrame) {
    // One large input and a scene per frame (all alike): every frame takes long to write.
    writeFrames(1400, 1400, {1});
    const std::string input = dir.file("in.0001.png");
    for (int f = 1; f <= 3; ++f)
        clitest::writeText(dir.file(numbered("scene.%d.json", f)), "{}");
    const std::vector<std::string> args = {
        "render", "--scene",        dir.file("scene.%d.json"), "--input",
        input,    "--output",       dir.file("out.%04d.png"),  "--frames",
        "1-3",    "--skip-existing"};
    const auto temporaries = [&] {
        std::vector<std::string> names;
        for (const std::string& name : dir.entries())
            if (contains(name, ".tmp-"))
                names.push_back(name);
        return names;
    };
    // Starts a run, sends `sig` as soon as a temporary file appears, and checks that no frame
    // left behind as a temporary file stands under its own name. Returns those left.
    const auto interrupt = [&](int sig) {
        {
            clitest::CliProcess tool(args);
            std::vector<std::string> seen;
            while (!tool.finished() && (seen = temporaries()).empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_FALSE(seen.empty()) << "the run ended before it wrote a frame";
            tool.signal(sig);
            EXPECT_EQ(tool.wait(), -sig);
        }
        const std::vector<std::string> left = temporaries();
        for (const std::string& name : left) {
            // ".out.0002.tmp-XXXXXX.png" belongs to out.0002.png
            const std::string frame = "out." + name.substr(5, 4) + ".png";
            EXPECT_FALSE(std::filesystem::exists(dir.file(frame))) << frame;
            std::filesystem::remove(dir.file(name));
        }
        return left;
    };

    // The kill can land between one frame's rename and the next frame's temporary file; a few
    // tries make sure one lands while a frame is being written.
    int tries = 0;
    while (interrupt(SIGKILL).empty() && ++tries < 4) {
    }
    EXPECT_LT(tries, 4) << "no kill landed while a frame was being written";
    EXPECT_TRUE(interrupt(SIGTERM).empty()) << "SIGTERM left its temporary file";

    // Resuming keeps what the interrupted runs finished; every frame must be whole and right.
    const auto resumed = runCli(args);
    ASSERT_EQ(resumed.exitCode, 0) << resumed.err;
    const auto still = runCli({"render", "--scene", dir.file("scene.1.json"), "--input", input,
                               "--output", dir.file("still.png")});
    ASSERT_EQ(still.exitCode, 0) << still.err;
    const std::string reference = clitest::readText(dir.file("still.png"));
    for (int f = 1; f <= 3; ++f)
        EXPECT_TRUE(clitest::readText(out(f)) == reference) << "frame " << f;
}

// The syntax's own mistakes are covered by the frame syntax tests; here each kind reaches the
// user as a usage error before anything is written.
TEST_F(Shot, BadRangesAndTokensAreUsageErrors) {
    writeFrames(8, 8, {1});
    const std::string in = dir.file("in.0001.png");
    const std::string seq = dir.file("in.####.png");
    const std::string outSeq = dir.file("o.####.png");
    const std::string outOne = dir.file("o.png");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{seq, outSeq, "--frames", "5-1"}, "--frames: '5-1' runs backwards"},
        {{dir.file("in.%s.png"), outSeq, "--frames", "1"}, "'%s' is not a frame token"},
        {{seq, outSeq}, "has a frame token but no --frames"},
        {{in, outOne, "--frames", "1"}, "--frames needs a frame token"},
        {{seq, outOne, "--frames", "1-2"}, "all 2 frames would be written to that one file"},
        {{in, outSeq, "--frames", "1-2"}, "all 2 frames would be the same picture"},
        {{seq, outSeq, "--frames", ""}, "--frames names no frames"},
        {{seq, outSeq, "--frames", "1", "--jobs", "0"}, "--jobs"},
        {{seq, outSeq, "--frames", "1", "--progress", "loud"}, "--progress"},
    };
    const auto before = dir.entries();
    for (const auto& [args, words] : cases) {
        std::vector<std::string> a = {"render", "--scene",  scene,  "--input",
                                      args[0],  "--output", args[1]};
        a.insert(a.end(), args.begin() + 2, args.end());
        const auto r = runCli(a);
        EXPECT_EQ(r.exitCode, 2) << words;
        EXPECT_TRUE(contains(r.err, words)) << r.err;
    }
    // A scene every frame shares is read once, before the first frame.
    clitest::writeText(scene, "{ not json");
    const auto r =
        runCli({"render", "--scene", scene, "--input", seq, "--output", outSeq, "--frames", "1-2"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("zonepainter: scene error: " + scene, 0), 0u) << r.err;
    EXPECT_EQ(dir.entries(), before) << "a refused run wrote something";
}

TEST_F(Shot, AFailingFrameFailsAloneAndIsSummed) {
    writeFrames(24, 16, {1, 2, 4});
    auto r = runCli(render({"--frames", "1-4", "--jobs", "2"}));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(contains(r.err, "zonepainter: frame 3: cannot read '" + dir.file("in.0003.png") +
                                    "': no such file"))
        << r.err;
    EXPECT_TRUE(r.err.ends_with("\nzonepainter: 1 of 4 frames failed: 3\n")) << r.err;
    for (int f : {1, 2, 4})
        EXPECT_TRUE(std::filesystem::exists(out(f))) << f;
    EXPECT_FALSE(std::filesystem::exists(out(3)));

    // A plug-in error outranks a missing file in the exit code.
    r = runCli(render({"--frames", "1-4", "--fail-host-call", "checkout_output"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "zonepainter: frame 2: the plug-in failed during smart render "
                                "with error 4"))
        << r.err;
    EXPECT_TRUE(r.err.ends_with("\nzonepainter: 4 of 4 frames failed: 1 2 3 4\n")) << r.err;

    // --fail-fast: after frame 3 no new frame starts.
    for (int f : {1, 2, 4})
        std::filesystem::remove(out(f));
    r = runCli(render({"--frames", "1-4", "--fail-fast", "--progress", "none"}));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(
        r.err.ends_with("\nzonepainter: 1 of 4 frames failed: 3\nzonepainter: 1 of 4 frames not "
                        "started (--fail-fast)\n"))
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(out(4)));
}

// Plates that carry ICC profiles, as camera JPEGs and most exported PNGs do, each frame's
// profile with tags of its own. OpenImageIO 2.4 decodes profiles through tables it grows as it
// meets new tags, which frames opened side by side corrupt (a crash, or a run that never ends),
// in some runs and not others: each shot is rendered several times, four frames at a time, and
// every run must give the frames rendered one at a time.
TEST_F(Shot, PlatesWithColourProfilesRenderedFourAtATimeMatchOneByOne) {
    constexpr int kRuns = 12;
    for (const std::string ext : {"png", "jpg"}) {
        for (int f = 1; f <= 12; ++f) {
            auto px = clitest::testPicture(48, 32, 3, TypeDesc::UINT8);
            std::rotate(px.begin(), px.begin() + 39 * f, px.end());
            clitest::writeImage(dir.file(numbered("icc.%04d.", f) + ext), 48, 32, 3,
                                TypeDesc::UINT8, px.data(), clitest::iccProfile(f, 500));
        }
        const auto shot = [&](const std::string& output, const char* jobs) {
            return runCli({"render", "--scene", scene, "--input", dir.file("icc.####." + ext),
                           "--output", dir.file(output), "--frames", "1-12", "--jobs", jobs,
                           "--progress", "none"});
        };
        const auto one = shot(ext + "-one.####.png", "1");
        ASSERT_EQ(one.exitCode, 0) << one.err;
        for (int run = 1; run <= kRuns; ++run) {
            const auto four = shot(ext + "-four.####.png", "4");
            ASSERT_EQ(four.exitCode, 0) << ext << " run " << run << ": " << four.err;
            for (int f = 1; f <= 12; ++f)
                ASSERT_EQ(
                    clitest::readText(dir.file(numbered((ext + "-four.%04d.png").c_str(), f))),
                    clitest::readText(dir.file(numbered((ext + "-one.%04d.png").c_str(), f))))
                    << ext << " frame " << f << " run " << run;
        }
    }
}

// An output that is an input, by its own name or through a link, is refused frame by frame
// before anything is written, and the plates stay as they were.
TEST_F(Shot, AnOutputThatIsAnInputIsRefusedAndLeftAlone) {
    namespace fs = std::filesystem;
    writeFrames(24, 16, {1, 2});
    const std::string plate = clitest::readText(dir.file("in.0001.png"));
    const auto refused = [&](const clitest::RunResult& r, const std::string& prefix) {
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_TRUE(r.err.starts_with(prefix)) << r.err;
        EXPECT_TRUE(contains(r.err, "refusing to write over it")) << r.err;
        EXPECT_EQ(clitest::readText(dir.file("in.0001.png")), plate);
    };
    refused(runCli({"render", "--scene", scene, "--input", dir.file("in.0001.png"), "--output",
                    dir.file("in.0001.png")}),
            "zonepainter: --output");
    // The same folder under another name.
    fs::create_directory_symlink(dir.path(), dir.file("linked"));
    auto r = runCli({"render", "--scene", scene, "--input", dir.file("in.####.png"), "--output",
                     dir.file("linked/in.####.png"), "--frames", "1-2", "--jobs", "2"});
    refused(r, "zonepainter: frame ");
    EXPECT_TRUE(r.err.ends_with("zonepainter: 2 of 2 frames failed: 1 2\n")) << r.err;
    // A hard link, and the scene.
    fs::create_hard_link(dir.file("in.0001.png"), dir.file("twin.png"));
    refused(runCli({"render", "--scene", scene, "--input", dir.file("in.0001.png"), "--output",
                    dir.file("twin.png")}),
            "zonepainter: --output");
    fs::copy_file(scene, dir.file("scene.png"));
    refused(runCli({"render", "--scene", dir.file("scene.png"), "--input", dir.file("in.0001.png"),
                    "--output", dir.file("scene.png")}),
            "zonepainter: --output");
    EXPECT_FALSE(fs::exists(dir.file("out.0001.png")));
}

} // namespace
