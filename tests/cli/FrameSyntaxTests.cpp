// How `--frames` and the frame tokens of file names are read: what they stand for, and the
// mistakes refused with a message that names them.
#include "cli/Commands.h"
#include "cli/FramePattern.h"
#include "cli/FrameRange.h"

#include <gtest/gtest.h>

namespace {

using zpcli::FramePattern;
using zpcli::parseFrameRange;

std::string usageError(const std::function<void()>& f) {
    try {
        f();
    } catch (const zpcli::UsageError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(FrameRange, ListsEachFrameOnceInOrder) {
    const std::vector<std::pair<const char*, std::vector<int>>> cases = {
        {"7", {7}},
        {"1001-1003", {1001, 1002, 1003}},
        {"1-10x4", {1, 5, 9}},
        {"10,1-3,2,3", {1, 2, 3, 10}},
        {"-2-1", {-2, -1, 0, 1}},
        {"-5--4,0", {-5, -4, 0}},
        {"999999999", {999999999}},
    };
    for (const auto& [text, frames] : cases)
        EXPECT_EQ(parseFrameRange(text), frames) << text;
    // The bound counts distinct frames: repeats don't reach it.
    EXPECT_EQ(parseFrameRange("1-600000,1-600000").size(), 600000u);
    EXPECT_EQ(parseFrameRange("1-1000000").size(), 1000000u);
}

TEST(FrameRange, RefusesWhatItCannotRead) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"", "names no frames"},
        {"1-", "'1-' ends where a number belongs"},
        {"5-1", "'5-1' runs backwards"},
        {"1-10x0", "step below 1"},
        {"1-10x-2", "step below 1"},
        {"5x2", "step but no range"},
        {"1,,2", "empty item"},
        {"1,", "empty item"},
        {"a", "'a' where a number belongs"},
        {"1 - 2", "' ' after a number"},
        {"1.5", "'.' after a number"},
        {"1234567890", "beyond 999999999"},
        {"1-1000001", "more than 1000000 frames"},
        {"1-600000,600001-1000001", "more than 1000000 frames"},
    };
    for (const auto& [text, words] : cases) {
        // Structured bindings are captured by name only from clang 16 on.
        const std::string message = usageError([&text = text] { parseFrameRange(text); });
        EXPECT_NE(message.find(words), std::string::npos) << text << ": " << message;
        EXPECT_EQ(message.rfind("--frames", 0), 0u) << message;
    }
}

TEST(FramePattern, ExpandsTheTokenToThePaddedFrameNumber) {
    struct Case {
        const char* name;
        int frame;
        const char* expanded;
        bool token;
    };
    const std::vector<Case> cases = {
        {"a.####.png", 7, "a.0007.png", true},
        {"a.%04d.png", 1001, "a.1001.png", true},
        {"a.%d.png", 5, "a.5.png", true},
        {"a.#.png", 123, "a.123.png", true},
        {"a.@@@.png", 7, "a.007.png", true},
        {"a.###.png", -5, "a.-05.png", true},
        {"shots/####/f.exr", 12, "shots/0012/f.exr", true},
        {"50%%.%02d.png", 3, "50%.03.png", true},
        {"plain.png", 3, "plain.png", false},
        {"100%%.png", 3, "100%.png", false},
    };
    for (const Case& c : cases) {
        const FramePattern p(c.name, "--output");
        EXPECT_EQ(p.expand(c.frame), c.expanded) << c.name;
        EXPECT_EQ(p.hasToken(), c.token) << c.name;
    }
}

TEST(FramePattern, RefusesMalformedAndRepeatedTokens) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"a.%s.png", "'%s' is not a frame token"},
        {"a.%-4d.png", "'%-4d' is not a frame token"},
        {"a.%4d.png", "'%4d' is not a frame token"},
        {"a.%012d.png", "'%012d' is not a frame token"},
        {"a.png%", "'%' is not a frame token"},
        {"a.##.%04d.png", "more than one frame token"},
        {"a.#.b.#.png", "more than one frame token"},
        {"a.##@@.png", "more than one frame token"},
        {"a.@@@@@@@@@@.png", "at most 9 digits"},
        {"a.##########.png", "at most 9 digits"},
    };
    for (const auto& [name, words] : cases) {
        const std::string message = usageError([&name = name] { FramePattern(name, "--input"); });
        EXPECT_NE(message.find(words), std::string::npos) << name << ": " << message;
        EXPECT_EQ(message.rfind(std::string("--input '") + name + "'", 0), 0u) << message;
    }
}

} // namespace
