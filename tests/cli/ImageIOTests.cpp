// The tool's image reading and writing, called in process.
#include "cli/ImageIO.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>

namespace {

using clitest::ScratchDir;
using OIIO::TypeDesc;
namespace fs = std::filesystem;

TEST(SixteenBitMapping, EveryHostValueComesBackExactly) {
    uint16_t previous = 0;
    for (uint32_t h = 0; h <= 32768; ++h) {
        const uint16_t f = zpcli::hostToFile16(static_cast<uint16_t>(h));
        ASSERT_EQ(zpcli::fileToHost16(f), h) << "host value " << h << " wrote as " << f;
        if (h > 0) {
            ASSERT_GT(f, previous) << "file values must rise with host values";
        }
        previous = f;
    }
    EXPECT_EQ(zpcli::hostToFile16(0), 0);
    EXPECT_EQ(zpcli::hostToFile16(32768), 65535);
    EXPECT_EQ(zpcli::hostToFile16(16384), 32768); // half stays half (rounded up)
}

TEST(SixteenBitMapping, FileValuesLandOnTheNearestHostValue) {
    uint16_t previous = 0;
    for (uint32_t f = 0; f <= 65535; ++f) {
        const uint16_t h = zpcli::fileToHost16(static_cast<uint16_t>(f));
        ASSERT_LE(h, 32768);
        ASSERT_GE(h, previous);
        ASSERT_LE(std::abs(static_cast<double>(h) - f * 32768.0 / 65535.0), 0.5 + 1e-9) << f;
        previous = h;
    }
    EXPECT_EQ(zpcli::fileToHost16(65535), 32768);
    EXPECT_EQ(zpcli::hostToFile16(40000), 65535) << "values past full write as full";
}

class ReadPicture : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(ReadPicture, GreyBecomesEqualChannelsWithFullAlpha) {
    const std::vector<uint8_t> grey = {0, 17, 128, 255};
    const std::string path = dir.file("grey.png");
    clitest::writeImage(path, 2, 2, 1, TypeDesc::UINT8, grey.data());
    const zpcli::Picture pic = zpcli::readPicture(path, 0);
    EXPECT_FALSE(pic.hasAlpha);
    EXPECT_EQ(pic.fileDepth, 8);
    ASSERT_EQ(pic.world->bytesPerChannel(), 1);
    for (int i = 0; i < 4; ++i) {
        const uint8_t* px = pic.world->pixel<uint8_t>(i % 2, i / 2);
        EXPECT_EQ(px[0], 255);
        EXPECT_EQ(px[1], grey[static_cast<size_t>(i)]);
        EXPECT_EQ(px[2], grey[static_cast<size_t>(i)]);
        EXPECT_EQ(px[3], grey[static_cast<size_t>(i)]);
    }
}

TEST_F(ReadPicture, GreyAlphaKeepsItsAlphaAsStored) {
    const std::vector<uint8_t> ga = {200, 0, 90, 10}; // two pixels: (grey, alpha)
    const std::string path = dir.file("ga.png");
    clitest::writeImage(path, 2, 1, 2, TypeDesc::UINT8, ga.data());
    const zpcli::Picture pic = zpcli::readPicture(path, 0);
    EXPECT_TRUE(pic.hasAlpha);
    const uint8_t* p0 = pic.world->pixel<uint8_t>(0, 0);
    const uint8_t* p1 = pic.world->pixel<uint8_t>(1, 0);
    EXPECT_EQ(p0[0], 0);
    EXPECT_EQ(p0[1], 200) << "colour under zero alpha is kept, not premultiplied away";
    EXPECT_EQ(p1[0], 10);
    EXPECT_EQ(p1[2], 90);
}

TEST_F(ReadPicture, RgbGetsFullAlphaInEveryDepth) {
    const std::vector<uint8_t> rgb = {10, 20, 30};
    const std::string path = dir.file("rgb.png");
    clitest::writeImage(path, 1, 1, 3, TypeDesc::UINT8, rgb.data());
    EXPECT_EQ(zpcli::readPicture(path, 8).world->pixel<uint8_t>(0, 0)[0], 255);
    EXPECT_EQ(zpcli::readPicture(path, 16).world->pixel<uint16_t>(0, 0)[0], 32768);
    EXPECT_EQ(zpcli::readPicture(path, 32).world->pixel<float>(0, 0)[0], 1.0f);
}

TEST_F(ReadPicture, DepthFollowsTheFile) {
    const auto rgba8 = clitest::testPicture(3, 2, 4, TypeDesc::UINT8);
    const auto rgba16 = clitest::testPicture(3, 2, 4, TypeDesc::UINT16);
    const auto rgbaF = clitest::testPicture(3, 2, 4, TypeDesc::FLOAT);
    clitest::writeImage(dir.file("a.png"), 3, 2, 4, TypeDesc::UINT8, rgba8.data());
    clitest::writeImage(dir.file("b.png"), 3, 2, 4, TypeDesc::UINT16, rgba16.data());
    clitest::writeImage(dir.file("c.tif"), 3, 2, 4, TypeDesc::UINT16, rgba16.data());
    clitest::writeImage(dir.file("d.exr"), 3, 2, 4, TypeDesc::FLOAT, rgbaF.data());
    clitest::writeImage(dir.file("e.exr"), 3, 2, 4, TypeDesc::HALF, rgbaF.data());
    EXPECT_EQ(zpcli::readPicture(dir.file("a.png"), 0).world->bytesPerChannel(), 1);
    EXPECT_EQ(zpcli::readPicture(dir.file("b.png"), 0).world->bytesPerChannel(), 2);
    EXPECT_EQ(zpcli::readPicture(dir.file("c.tif"), 0).world->bytesPerChannel(), 2);
    EXPECT_EQ(zpcli::readPicture(dir.file("d.exr"), 0).world->bytesPerChannel(), 4);
    EXPECT_EQ(zpcli::readPicture(dir.file("e.exr"), 0).world->bytesPerChannel(), 4);
    EXPECT_EQ(zpcli::fileDepthOf(dir.file("e.exr")), 32);
}

TEST_F(ReadPicture, SixteenBitFileValuesBecomeHostValues) {
    const std::vector<uint16_t> rgba = {0, 1, 65534, 65535};
    clitest::writeImage(dir.file("v.png"), 1, 1, 4, TypeDesc::UINT16, rgba.data());
    const zpcli::Picture pic = zpcli::readPicture(dir.file("v.png"), 0);
    const uint16_t* px = pic.world->pixel<uint16_t>(0, 0);
    EXPECT_EQ(px[0], 32768); // alpha
    EXPECT_EQ(px[1], 0);
    EXPECT_EQ(px[2], 1);
    EXPECT_EQ(px[3], 32767);
}

TEST_F(ReadPicture, OtherDepthsConvertToNearestAndClamp) {
    const std::vector<float> rgba = {1.5f, -0.25f, std::numeric_limits<float>::quiet_NaN(), 0.5f};
    clitest::writeImage(dir.file("f.exr"), 1, 1, 4, TypeDesc::FLOAT, rgba.data());
    const zpcli::Picture p8Pic = zpcli::readPicture(dir.file("f.exr"), 8);
    const uint8_t* p8 = p8Pic.world->pixel<uint8_t>(0, 0);
    EXPECT_EQ(p8[1], 255);
    EXPECT_EQ(p8[2], 0);
    EXPECT_EQ(p8[3], 0) << "NaN reads as 0";
    EXPECT_EQ(p8[0], 128) << "0.5 rounds to nearest";
    const zpcli::Picture p16Pic = zpcli::readPicture(dir.file("f.exr"), 16);
    const uint16_t* p16 = p16Pic.world->pixel<uint16_t>(0, 0);
    EXPECT_EQ(p16[0], 16384);
    EXPECT_EQ(p16[1], 32768);

    const std::vector<uint8_t> rgb = {255, 128, 1};
    clitest::writeImage(dir.file("g.png"), 1, 1, 3, TypeDesc::UINT8, rgb.data());
    const zpcli::Picture g16Pic = zpcli::readPicture(dir.file("g.png"), 16);
    const uint16_t* g16 = g16Pic.world->pixel<uint16_t>(0, 0);
    EXPECT_EQ(g16[1], 32768);
    EXPECT_EQ(g16[2], 16448); // 128 / 255 * 32768 = 16448.25
    EXPECT_EQ(g16[3], 129);   // 128.502
    const zpcli::Picture gfPic = zpcli::readPicture(dir.file("g.png"), 32);
    const float* gf = gfPic.world->pixel<float>(0, 0);
    EXPECT_FLOAT_EQ(gf[2], 128.0f / 255.0f);
}

TEST_F(ReadPicture, RefusesWhatItCannotTake) {
    auto refused = [&](const std::string& path, const std::string& words) {
        try {
            zpcli::readPicture(path, 0);
            ADD_FAILURE() << path << " was accepted";
        } catch (const zpcli::UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
    };
    refused(dir.file("missing.png"), "no such file");
    clitest::writeText(dir.file("junk.png"), "this is not a picture");
    refused(dir.file("junk.png"), "cannot read");
    refused(dir.path().string(), "folder");
    const std::vector<uint8_t> five(5 * 4, 7);
    clitest::writeImage(dir.file("five.tif"), 2, 2, 5, TypeDesc::UINT8, five.data());
    refused(dir.file("five.tif"), "5 channels");
    // A header claiming 50000 x 50000: refused from the header, before 10 GB are asked for.
    clitest::writePngHeaderOnly(dir.file("huge.png"), 50000, 50000);
    refused(dir.file("huge.png"), "at most 30000");
    clitest::writePngHeaderOnly(dir.file("wide.png"), 30001, 1);
    refused(dir.file("wide.png"), "30001x1");
}

TEST_F(ReadPicture, RefusesADataWindowThatIsNotTheImage) {
    auto out = OIIO::ImageOutput::create(dir.file("crop.exr"));
    OIIO::ImageSpec spec(4, 4, 4, TypeDesc::FLOAT);
    spec.x = 2;
    spec.y = 1;
    spec.full_width = 8;
    spec.full_height = 8;
    const std::vector<float> px(4 * 4 * 4, 0.5f);
    ASSERT_TRUE(out->open(dir.file("crop.exr"), spec));
    ASSERT_TRUE(out->write_image(TypeDesc::FLOAT, px.data()));
    ASSERT_TRUE(out->close());
    try {
        zpcli::readPicture(dir.file("crop.exr"), 0);
        ADD_FAILURE() << "a cropped image was accepted";
    } catch (const zpcli::UsageError& e) {
        EXPECT_NE(std::string(e.what()).find("does not match"), std::string::npos) << e.what();
    }
}

class WritePicture : public ::testing::Test {
protected:
    ScratchDir dir;
    // Writes a 2x1 world of `bpc` bytes per channel to `name`; returns the notes.
    std::string write(const std::string& name, int bpc, bool alpha = true) {
        headless::HostWorld w(2, 1, bpc, 0, 0);
        w.fillBytes(0);
        std::ostringstream notes;
        zpcli::writePicture(dir.file(name), w, alpha, notes);
        return notes.str();
    }
};

TEST_F(WritePicture, KeepsTheDepthWhereTheFormatHoldsIt) {
    EXPECT_EQ(write("a.png", 1), "");
    EXPECT_EQ(write("b.png", 2), "");
    EXPECT_EQ(write("c.tif", 4), "");
    EXPECT_EQ(write("d.exr", 4), "");
    EXPECT_EQ(clitest::readImage(dir.file("a.png")).format, TypeDesc::UINT8);
    EXPECT_EQ(clitest::readImage(dir.file("b.png")).format, TypeDesc::UINT16);
    EXPECT_EQ(clitest::readImage(dir.file("c.tif")).format, TypeDesc::FLOAT);
    EXPECT_EQ(clitest::readImage(dir.file("d.exr")).format, TypeDesc::FLOAT);
    EXPECT_EQ(clitest::readImage(dir.file("a.png")).channels, 4);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a.png", "b.png", "c.tif", "d.exr"}))
        << "no temporary files are left behind";
}

TEST_F(WritePicture, ConvertsWhereTheFormatCannotAndSaysSo) {
    EXPECT_NE(write("a.png", 4).find("writing 16-bit"), std::string::npos);
    EXPECT_EQ(clitest::readImage(dir.file("a.png")).format, TypeDesc::UINT16);
    EXPECT_NE(write("b.jpg", 2, false).find("writing 8-bit"), std::string::npos);
    EXPECT_EQ(clitest::readImage(dir.file("b.jpg")).format, TypeDesc::UINT8);
    EXPECT_NE(write("c.exr", 1).find("writing half"), std::string::npos);
    EXPECT_EQ(clitest::readImage(dir.file("c.exr")).format, TypeDesc::HALF);
    const std::string jpegAlpha = write("d.JPEG", 1, true);
    EXPECT_NE(jpegAlpha.find("no alpha"), std::string::npos) << jpegAlpha;
    EXPECT_EQ(clitest::readImage(dir.file("d.JPEG")).channels, 3);
}

TEST_F(WritePicture, RefusesUnknownFormatsAndMissingFolders) {
    EXPECT_THROW(zpcli::checkOutputPath(dir.file("x.bmp")), zpcli::UsageError);
    EXPECT_THROW(zpcli::checkOutputPath(dir.file("noextension")), zpcli::UsageError);
    EXPECT_THROW(zpcli::checkOutputPath(dir.file("nofolder/x.png")), zpcli::UsageError);
    EXPECT_THROW(write("x.bmp", 1), zpcli::UsageError);
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(WritePicture, ReplacesAnExistingFileWholeUnlessToldNotTo) {
    clitest::writeText(dir.file("a.png"), "old contents");
    write("a.png", 1);
    EXPECT_EQ(clitest::readImage(dir.file("a.png")).width, 2);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.png"});
    // Refused as the file is put in place: a file made after any earlier check stays.
    clitest::writeText(dir.file("a.png"), "old contents");
    headless::HostWorld w(2, 1, 1, 0, 0);
    std::ostringstream notes;
    EXPECT_THROW(zpcli::writePicture(dir.file("a.png"), w, true, notes, "", true),
                 zpcli::UsageError);
    EXPECT_EQ(clitest::readText(dir.file("a.png")), "old contents");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.png"});
}

TEST_F(WritePicture, WritesTheCompressionAskedFor) {
    headless::HostWorld w(64, 64, 1, 0, 0);
    w.fillBytes(0);
    std::ostringstream notes;
    const auto written = [&](const std::string& name, const std::string& compression) {
        zpcli::writePicture(dir.file(name), w, true, notes, compression);
        return clitest::readImage(dir.file(name));
    };
    // PNG levels reach zlib: stored, the default (fast) level, and the smallest.
    const clitest::RawImage none = written("none.png", "none");
    EXPECT_EQ(written("fast.png", "").bytes, none.bytes);
    EXPECT_EQ(written("small.png", "zip:9").bytes, none.bytes);
    const auto size = [&](const char* name) { return fs::file_size(dir.file(name)); };
    EXPECT_GT(size("none.png"), 64u * 64u * 4u);
    EXPECT_LT(size("fast.png"), size("none.png") / 10);
    EXPECT_LE(size("small.png"), size("fast.png"));
    // OpenEXR: the method stands in the file's header.
    written("piz.exr", "piz");
    EXPECT_EQ(
        OIIO::ImageInput::open(dir.file("piz.exr"))->spec().get_string_attribute("compression"),
        "piz");
    for (const auto& [name, compression] : {std::pair{"a.png", "piz"}, std::pair{"a.png", "zip:x"},
                                            std::pair{"a.exr", "zip:"}, std::pair{"a.jpg", "none"}})
        EXPECT_THROW(zpcli::checkCompression(name, compression), zpcli::UsageError)
            << name << " " << compression;
    zpcli::checkCompression("a.exr", "dwaa:45");
    zpcli::checkCompression("a.TIF", "zip:6");
}

// The file gets the creation mask as it stands when it is written, read without the process
// ever setting its mask (which would race with other threads' files).
TEST_F(WritePicture, GivesTheFileTheCurrentCreationMask) {
    const mode_t before = ::umask(027);
    write("a.png", 1);
    ::umask(0);
    write("b.png", 1);
    ::umask(before);
    const auto modeOf = [&](const char* name) {
        return std::filesystem::status(dir.file(name)).permissions() & fs::perms::all;
    };
    using fs::perms;
    EXPECT_EQ(modeOf("a.png"), perms::owner_read | perms::owner_write | perms::group_read);
    EXPECT_EQ(modeOf("b.png"), perms::owner_read | perms::owner_write | perms::group_read |
                                   perms::group_write | perms::others_read | perms::others_write);
}

TEST(Downsample, ParsesOneOrTwoFactors) {
    const zpcli::Downsample one = zpcli::parseDownsample("1/2");
    EXPECT_EQ(one.numX, 1);
    EXPECT_EQ(one.denX, 2);
    EXPECT_EQ(one.numY, 1);
    EXPECT_EQ(one.denY, 2);
    const zpcli::Downsample two = zpcli::parseDownsample("1,2/3");
    EXPECT_EQ(two.numX, 1);
    EXPECT_EQ(two.denX, 1);
    EXPECT_EQ(two.numY, 2);
    EXPECT_EQ(two.denY, 3);
    for (const char* bad :
         {"", "0/2", "3/2", "1/0", "a", "1/2,", "1/2/3", "-1/2", "1/1001", "1/2,1/2,1/2", " 1/2"})
        EXPECT_THROW(zpcli::parseDownsample(bad), zpcli::UsageError) << bad;
}

TEST(Downsample, FullResolutionHeightRoundsToNearest) {
    EXPECT_EQ(zpcli::fullResolutionHeight(540, zpcli::parseDownsample("1/2")), 1080);
    EXPECT_EQ(zpcli::fullResolutionHeight(100, zpcli::parseDownsample("1")), 100);
    EXPECT_EQ(zpcli::fullResolutionHeight(100, zpcli::parseDownsample("1/1,2/3")), 150);
    EXPECT_EQ(zpcli::fullResolutionHeight(101, zpcli::parseDownsample("1,2/3")), 152); // 151.5
    EXPECT_EQ(zpcli::fullResolutionHeight(100, zpcli::parseDownsample("1,3/7")), 233); // 233.3
    EXPECT_EQ(zpcli::fullResolutionHeight(30000, zpcli::parseDownsample("1/1000")), 30000000);
}

} // namespace
