// The property list the build generates from the product description, against the table
// written out by hand.
#include "effect/ProductInfo.h"
#include "loader/GeneratedPipl.h"
#include "tests/loader/ExpectedPipl.h"

#include <gtest/gtest.h>

namespace {

TEST(PropertyList, GeneratedBytesMatchTheHandWrittenTable) {
    ASSERT_EQ(sizeof loader::kGeneratedPipl, sizeof expected::kPipl);
    for (size_t i = 0; i < sizeof expected::kPipl; ++i) {
        EXPECT_EQ(loader::kGeneratedPipl[i], expected::kPipl[i]) << "byte " << i;
    }
}

TEST(PropertyList, WordsEqualWhatGlobalSetupReports) {
    const auto word = [](const char(&key)[5]) {
        return expected::piplWord(loader::kGeneratedPipl, sizeof loader::kGeneratedPipl, key);
    };
    EXPECT_EQ(word("eVER"), product::kMyVersion);
    EXPECT_EQ(word("eGLO"), product::kOutFlags);
    EXPECT_EQ(word("eGL2"), product::kOutFlags2);
    EXPECT_EQ(word("aeFL"), 8u);
    EXPECT_FALSE(word("none"));
}

} // namespace
