// The text work of finding the effect library beside the loader, under both platforms' rules.
#include "loader/LibraryPath.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using loader::LibraryPathResult;

struct Split {
    LibraryPathResult result;
    std::string library;
    std::string baseName;
};

Split windowsSplit(const std::string& pluginPath, const char* baseBefore = "") {
    char library[loader::kLibraryPathSize];
    char base[loader::kBaseNameSize];
    std::snprintf(base, sizeof base, "%s", baseBefore);
    const auto result = loader::makeLibraryPath(pluginPath.c_str(), '\\', ".dll", library,
                                                sizeof library, base, sizeof base);
    return {result, library, base};
}

TEST(LibraryPath, WindowsLoaderFindsItsLibraryInTheSameFolder) {
    const Split s = windowsSplit("C:\\Plug-ins\\Zonepainter.aex");
    EXPECT_EQ(s.result, LibraryPathResult::BesideLoader);
    EXPECT_EQ(s.library, "C:\\Plug-ins\\Zonepainter.dll");
    EXPECT_EQ(s.baseName, "Zonepainter");
}

TEST(LibraryPath, PosixRulesUseSlashAndTheGivenExtension) {
    char library[loader::kLibraryPathSize];
    char base[loader::kBaseNameSize] = "";
    EXPECT_EQ(loader::makeLibraryPath("/opt/fx/Zonepainter.aex", '/', ".so", library,
                                      sizeof library, base, sizeof base),
              LibraryPathResult::BesideLoader);
    EXPECT_STREQ(library, "/opt/fx/Zonepainter.so");
    EXPECT_STREQ(base, "Zonepainter");
}

TEST(LibraryPath, OnlyTheLastDotOfTheFileNameEndsTheBaseName) {
    Split s = windowsSplit("C:\\Effects v2.5\\Zone.painter.aex");
    EXPECT_EQ(s.library, "C:\\Effects v2.5\\Zone.painter.dll");
    EXPECT_EQ(s.baseName, "Zone.painter");

    // A file name without extension keeps its whole name; the folder's dot does not count.
    s = windowsSplit("C:\\Plug.ins\\Zonepainter");
    EXPECT_EQ(s.result, LibraryPathResult::BesideLoader);
    EXPECT_EQ(s.library, "C:\\Plug.ins\\Zonepainter.dll");
    EXPECT_EQ(s.baseName, "Zonepainter");

    s = windowsSplit("C:\\Plug-ins\\.aex");
    EXPECT_EQ(s.library, "C:\\Plug-ins\\.dll");
    EXPECT_EQ(s.baseName, "");
}

TEST(LibraryPath, PathWithoutSeparatorIsUsedUnchangedAndLeavesTheBaseName) {
    Split s = windowsSplit("Zonepainter.aex", "earlier");
    EXPECT_EQ(s.result, LibraryPathResult::NoSeparator);
    EXPECT_EQ(s.library, "Zonepainter.aex");
    EXPECT_EQ(s.baseName, "earlier");

    // Under the Windows rules a slash is not a separator.
    s = windowsSplit("C:/Plug-ins/Zonepainter.aex");
    EXPECT_EQ(s.result, LibraryPathResult::NoSeparator);
    EXPECT_EQ(s.library, "C:/Plug-ins/Zonepainter.aex");
    EXPECT_EQ(s.baseName, "");
}

TEST(LibraryPath, LongestHostPathFitsEvenWhenTheNameGrows) {
    // 271 characters, the most the host's buffer holds, with no extension to replace.
    const std::string folder = "C:\\" + std::string(100, 'f') + "\\";
    const std::string name(271 - folder.size(), 'n');
    const Split s = windowsSplit(folder + name);
    EXPECT_EQ(s.result, LibraryPathResult::BesideLoader);
    EXPECT_EQ(s.library, folder + name + ".dll");
    EXPECT_EQ(s.baseName, name);
}

TEST(LibraryPath, SmallBuffersAreCutTerminatedAndNeverOverrun) {
    char library[40];
    char base[12];
    std::memset(library, '#', sizeof library);
    std::memset(base, '#', sizeof base);
    // Both buffers are handed over as smaller than they are; the rest must stay untouched.
    EXPECT_EQ(loader::makeLibraryPath("C:\\Plug-ins\\Zonepainter Extended.aex", '\\', ".dll",
                                      library, 20, base, 6),
              LibraryPathResult::TooLong);
    EXPECT_STREQ(base, "Zonep");
    EXPECT_STREQ(library, "C:\\Plug-ins\\Zonep.d");
    for (size_t i = 6; i < sizeof base; ++i)
        EXPECT_EQ(base[i], '#') << "base byte " << i;
    for (size_t i = 20; i < sizeof library; ++i)
        EXPECT_EQ(library[i], '#') << "path byte " << i;

    // A folder longer than the whole library buffer.
    std::memset(library, '#', sizeof library);
    EXPECT_EQ(loader::makeLibraryPath("C:\\A very long folder name\\Zonepainter.aex", '\\', ".dll",
                                      library, 10, base, sizeof base),
              LibraryPathResult::TooLong);
    EXPECT_STREQ(library, "C:\\A very");
    for (size_t i = 10; i < sizeof library; ++i)
        EXPECT_EQ(library[i], '#') << "path byte " << i;

    // No separator and too long for the buffer.
    EXPECT_EQ(
        loader::makeLibraryPath("Zonepainter.aex", '\\', ".dll", library, 5, base, sizeof base),
        LibraryPathResult::TooLong);
    EXPECT_STREQ(library, "Zone");
}

} // namespace
