// The pictures made from a captured frame, from hand-made captures and from a real render.
#include "cli/Frame.h"
#include "cli/Views.h"
#include "image/LabelMap.h"
#include "image/PixelTraits.h"
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using headless::HostWorld;

TEST(LabelColours, AreDistinctAcrossTheLabelsAGroupCanHave) {
    std::set<std::array<uint8_t, 3>> seen;
    for (int label = 1; label <= 13; ++label)
        seen.insert(zpcli::labelColour(label));
    EXPECT_EQ(seen.size(), 13u);
    EXPECT_EQ(zpcli::labelColour(0), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(zpcli::labelColour(255), zpcli::labelColour(255)); // any label has a colour
}

TEST(LabelColours, ShadeFallsWithCost) {
    EXPECT_EQ(zpcli::costShade(0), 1.0f);
    EXPECT_EQ(zpcli::costShade(64), 0.5f);
    EXPECT_GT(zpcli::costShade(10), zpcli::costShade(11));
    EXPECT_GT(zpcli::costShade(65535), 0.0f);
}

// A 3x1 capture: a stroke pixel of label 2, a propagated pixel of label 3 at cost 64, and an
// unlabelled pixel.
zpcli::FrameCapture handMadeCapture(int bpc) {
    zpcli::FrameCapture cap(true);
    cap.strokesWidth = cap.labelsWidth = 3;
    cap.strokesHeight = cap.labelsHeight = 1;
    cap.strokeLabels = {2, 0, 0};
    cap.firstLabel = {2, 3, 0};
    cap.firstCost = {0, 64, 0};
    cap.weightsWorld = std::make_unique<HostWorld>(3, 1, bpc, 0, 0);
    cap.weightsWorld->fillBytes(0);
    if (bpc == 1) {
        cap.weightsWorld->pixel<uint8_t>(0, 0)[0] = 128;
        cap.weightsWorld->pixel<uint8_t>(1, 0)[0] = 51;
        cap.weightsWorld->pixel<uint8_t>(2, 0)[0] = 255; // the input's alpha, not a weight
    } else {
        cap.weightsWorld->pixel<float>(0, 0)[0] = 0.5f;
        cap.weightsWorld->pixel<float>(1, 0)[0] = 0.2f;
        cap.weightsWorld->pixel<float>(2, 0)[0] = 1.0f;
    }
    return cap;
}

TEST(Views, StrokesPaintLabelsOverTheDimmedInput) {
    const auto cap = handMadeCapture(1);
    HostWorld input(3, 1, 1, 0, 0);
    input.fillBytes(90);
    const auto view = zpcli::makeStrokesView(input, cap);
    const auto c2 = zpcli::labelColour(2);
    const uint8_t* p0 = view->pixel<uint8_t>(0, 0);
    const uint8_t* p1 = view->pixel<uint8_t>(1, 0);
    EXPECT_EQ(p0[0], 255);
    EXPECT_EQ(p0[1], c2[0]);
    EXPECT_EQ(p0[2], c2[1]);
    EXPECT_EQ(p0[3], c2[2]);
    EXPECT_EQ(p1[0], 255);
    EXPECT_EQ(p1[1], 30);
    EXPECT_EQ(p1[3], 30);
}

TEST(Views, LabelsShadeByCostAndLeaveUnlabelledBlack) {
    const auto cap = handMadeCapture(1);
    const auto view = zpcli::makeLabelsView(cap, 2);
    ASSERT_EQ(view->bytesPerChannel(), 2);
    const auto c3 = zpcli::labelColour(3);
    const uint16_t* p1 = view->pixel<uint16_t>(1, 0);
    EXPECT_NEAR(p1[1], c3[0] / 255.0 * 0.5 * 32768, 1.0);
    EXPECT_NEAR(p1[2], c3[1] / 255.0 * 0.5 * 32768, 1.0);
    const uint16_t* p2 = view->pixel<uint16_t>(2, 0);
    EXPECT_EQ(p2[0], 32768);
    EXPECT_EQ(p2[1] + p2[2] + p2[3], 0);
}

TEST(Views, WeightsAreTheAlphaOfLabelledPixelsOnly) {
    for (int bpc : {1, 4}) {
        const auto cap = handMadeCapture(bpc);
        const auto view = zpcli::makeWeightsView(cap);
        if (bpc == 1) {
            EXPECT_EQ(view->pixel<uint8_t>(0, 0)[1], 128);
            EXPECT_EQ(view->pixel<uint8_t>(1, 0)[3], 51);
            EXPECT_EQ(view->pixel<uint8_t>(2, 0)[2], 0);
            EXPECT_EQ(view->pixel<uint8_t>(2, 0)[0], 255);
        } else {
            EXPECT_EQ(view->pixel<float>(0, 0)[2], 0.5f);
            EXPECT_EQ(view->pixel<float>(2, 0)[1], 0.0f);
        }
    }
}

TEST(Views, NeedWhatTheyShow) {
    zpcli::FrameCapture timingsOnly(false);
    HostWorld input(3, 1, 1, 0, 0);
    EXPECT_THROW(zpcli::makeStrokesView(input, timingsOnly), std::runtime_error);
    EXPECT_THROW(zpcli::makeLabelsView(timingsOnly, 1), std::runtime_error);
    EXPECT_THROW(zpcli::makeWeightsView(timingsOnly), std::runtime_error);
}

// A real frame: a grey picture with a bright square, one rectangle stroke around the square.
class CapturedFrame : public ::testing::TestWithParam<int> {};

TEST_P(CapturedFrame, HoldsTheStrokesLabelsAndWeightsOfTheRender) {
    const int bpc = GetParam();
    clitest::ScratchDir dir;
    const std::string scene = dir.file("scene.json");
    clitest::writeText(scene, clitest::rectangleScene(8, 8, 24, 24, "\"Effects\": 50"));
    HostWorld input(32, 32, bpc, 0, 0);
    input.fillBytes(0);
    fx::dispatchDepth(bpc, [&]<typename T>() {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                T* p = input.pixel<T>(x, y);
                p[0] = static_cast<T>(fx::PixelTraits<T>::full);
                p[1] = p[2] = p[3] = static_cast<T>(fx::PixelTraits<T>::full / 2);
            }
    });
    zpcli::FrameRequest request;
    request.scenePath = scene;
    request.keepViews = true;
    const zpcli::Frame frame = zpcli::renderFrame(input, request);
    const zpcli::FrameCapture& cap = *frame.capture;
    ASSERT_EQ(cap.strokesWidth, 32);
    EXPECT_EQ(cap.strokeLabels[16 * 32 + 8], 2) << "the rectangle's left side is drawn";
    EXPECT_EQ(cap.strokeLabels[16 * 32 + 16], 0) << "and not filled";
    // One label over a flat picture: it reaches every pixel, and the weight is "Effects".
    for (size_t i = 0; i < cap.firstLabel.size(); ++i)
        ASSERT_EQ(cap.firstLabel[i], 2) << i;
    const auto weights = zpcli::makeWeightsView(cap);
    fx::dispatchDepth(bpc, [&]<typename T>() {
        const double w = static_cast<double>(weights->pixel<T>(30, 2)[1]) /
                         static_cast<double>(fx::PixelTraits<T>::full);
        EXPECT_NEAR(w, 0.5, 0.01);
    });
    // The rendered output has the input's alpha back.
    fx::dispatchDepth(bpc, [&]<typename T>() {
        EXPECT_EQ(frame.output->pixel<T>(30, 2)[0], static_cast<T>(fx::PixelTraits<T>::full));
    });
    EXPECT_EQ(cap.times.size(), 8u);
}

INSTANTIATE_TEST_SUITE_P(Depths, CapturedFrame, ::testing::Values(1, 2, 4));

} // namespace
