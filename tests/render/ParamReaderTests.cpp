#include "color/ColorAdjuster.h"
#include "render/ParamLayout.h"
#include "render/ParamReaders.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<headless::Host> hostWithParams() {
    auto host = zptest::newHost();
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    return host;
}

TEST(ParamReaders, AdjustGroupSlidersBecomeFactors) {
    auto host = hostWithParams();
    const int g = 2;
    const double values[11] = {90, -50, 10, 20, 30, 40, 50, 60, 70, 80, 33.3};
    for (int s = 0; s < 11; ++s)
        host->setSlider(params::adjustSlider(g, s), values[s]);
    ColorAdjuster adj;
    readAdjustGroup(&host->preparedInData(), g, adj);
    const AdjusterSettings& a = adj.settings();
    EXPECT_EQ(a.tintAlpha, 1.0f);
    EXPECT_EQ(a.tintAmount, 1.0f) << "an adjust group's tint fields are all 1";
    EXPECT_EQ(a.hue, 90.0f / 360.0f);
    EXPECT_EQ(a.saturation, -0.5f);
    EXPECT_EQ(a.cyanMagenta, 0.8f);
    // Narrowed to float before the single-precision division.
    EXPECT_EQ(a.effects, static_cast<float>(33.3) / 100.0f);
    EXPECT_EQ(host->outstandingCheckouts(), 0);
    EXPECT_EQ(host->checkouts(), 11);
}

TEST(ParamReaders, ColorizeSlotTintsOnTopOfTheToneItFinds) {
    auto host = hostWithParams();
    host->setSlider(params::adjustSlider(0, params::kHue), 180);
    host->setSlider(params::adjustSlider(0, params::kEffects), 50);
    host->setColor(params::colorizeColor(19), PF_Pixel{128, 255, 51, 0});
    host->setSlider(params::colorizeOpacity(19), 25);
    ColorAdjuster adj;
    readAdjustGroup(&host->preparedInData(), 0, adj);
    readColorizeSlot(&host->preparedInData(), 19, adj);
    const AdjusterSettings& a = adj.settings();
    EXPECT_EQ(a.tintAlpha, 128.0f / 255.0f);
    EXPECT_EQ(a.tintRed, 1.0f);
    EXPECT_EQ(a.tintGreen, 0.2f);
    EXPECT_EQ(a.tintBlue, 0.0f);
    EXPECT_EQ(a.tintAmount, 0.25f);
    EXPECT_EQ(a.hue, 0.5f) << "the group's tone stays";
    EXPECT_EQ(a.effects, 0.5f);
    EXPECT_EQ(host->outstandingCheckouts(), 0);
}

TEST(ParamReaders, AFailedCheckoutGivesTheParametersZeroValue) {
    auto host = hostWithParams();
    host->setSlider(params::adjustSlider(1, params::kHue), 36);
    host->setSlider(params::adjustSlider(1, params::kSaturation), 20);
    host->faults.failCall("checkout_param", 2); // "Saturation"
    ColorAdjuster adj;
    readAdjustGroup(&host->preparedInData(), 1, adj);
    EXPECT_EQ(adj.settings().hue, 36.0f / 360.0f);
    EXPECT_EQ(adj.settings().saturation, 0.0f) << "not the hue read just before";
    EXPECT_EQ(adj.settings().brightness, 0.0f);

    // The pipeline reads "Link Masks" right before "Adjust 1 Mask": a failed mask read must
    // not turn the popup's value into a path.
    host->setPopup(params::kLinkMasks, 2);
    host->setPath(params::adjustMask(0), 1);
    host->faults.clear();
    host->faults.failCall("checkout_param", 2);
    ParamReader r(&host->preparedInData());
    EXPECT_EQ(r.popup(params::kLinkMasks), 2);
    EXPECT_EQ(r.path(params::adjustMask(0)), 0);
    EXPECT_EQ(r.path(params::adjustMask(0)), 1);
    EXPECT_EQ(host->outstandingCheckouts(), 0);
}

} // namespace
