// The property list the build generates from the product description, against the table
// written out by hand and against what the effect library reports.
#include "loader/GeneratedPipl.h"
#include "tests/loader/ExpectedPipl.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

namespace {

TEST(PropertyList, GeneratedBytesMatchTheHandWrittenTable) {
    ASSERT_EQ(sizeof loader::kGeneratedPipl, sizeof expected::kPipl);
    for (size_t i = 0; i < sizeof expected::kPipl; ++i) {
        EXPECT_EQ(loader::kGeneratedPipl[i], expected::kPipl[i]) << "byte " << i;
    }
}

// The host compares the list's version and flag words with what global setup reports at
// run time; the effect library must report the very words of the table.
TEST(PropertyList, WordsEqualWhatGlobalSetupReports) {
    const auto word = [](const char(&key)[5]) {
        return expected::piplWord(expected::kPipl, sizeof expected::kPipl, key);
    };
    auto host = zptest::newHost();
    host->outData() = PF_OutData{};
    ASSERT_EQ(host->send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE);
    EXPECT_EQ(word("eVER"), host->outData().my_version);
    EXPECT_EQ(word("eGLO"), static_cast<uint32_t>(host->outData().out_flags));
    EXPECT_EQ(word("eGL2"), static_cast<uint32_t>(host->outData().out_flags2));
    EXPECT_EQ(word("aeFL"), 8u);
    EXPECT_FALSE(word("none"));
}

} // namespace
