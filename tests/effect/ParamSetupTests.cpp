#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The parameter list as stored projects know it, written out independently of the effect.
struct Expected {
    PF_ParamType type;
    std::string name;
    PF_ParamFlags flags = 0;
    float lo = 0, hi = 0, dflt = 0;
    std::string choices = {};
    int popupDefault = 0;
};

std::vector<Expected> expectedList() {
    std::vector<Expected> v;
    v.push_back({PF_Param_CHECKBOX, "Force update", 0x42});
    const char* sliders[] = {"Hue",   "Saturation", "Brightness",  "Contrast",     "Gamma",  "Red",
                             "Green", "Blue",       "Temperature", "Cyan/Magenta", "Effects"};
    for (int g = 1; g <= 10; ++g) {
        v.push_back({PF_Param_GROUP_START, "Adjust " + std::to_string(g), g == 1 ? 0 : 0x20});
        v.push_back({PF_Param_PATH, "Mask", 0x40});
        for (int s = 0; s < 11; ++s) {
            const float lo = s == 0 ? -360.f : s == 10 ? 0.f : -100.f;
            const float hi = s == 0 ? 360.f : 100.f;
            v.push_back({PF_Param_FLOAT_SLIDER, sliders[s], 0, lo, hi, 0});
        }
        v.push_back({PF_Param_GROUP_END, ""});
    }
    v.push_back({PF_Param_GROUP_START, "Colorize"});
    for (int k = 1; k <= 20; ++k) {
        v.push_back({PF_Param_PATH, "Mask " + std::to_string(k), 0x40});
        v.push_back({PF_Param_COLOR, "Color " + std::to_string(k)});
        v.push_back({PF_Param_FLOAT_SLIDER, "Opacity " + std::to_string(k), 0, 0, 100, 100});
    }
    v.push_back({PF_Param_GROUP_END, ""});
    v.push_back({PF_Param_GROUP_START, "Blur"});
    v.push_back({PF_Param_FLOAT_SLIDER, "Amount", 0, 0, 50, 0});
    v.push_back({PF_Param_GROUP_END, ""});
    v.push_back({PF_Param_GROUP_START, "Fill Light"});
    v.push_back({PF_Param_FLOAT_SLIDER, "Brightness", 0, 0, 500, 0});
    v.push_back({PF_Param_FLOAT_SLIDER, "Position", 0, 0, 100, 0});
    v.push_back({PF_Param_FLOAT_SLIDER, "Range", 0, 0, 100, 80});
    v.push_back({PF_Param_GROUP_END, ""});
    v.push_back({PF_Param_GROUP_START, "Diffusion/Glow"});
    v.push_back({PF_Param_FLOAT_SLIDER, "Amount", 0, 0, 500, 0});
    v.push_back({PF_Param_FLOAT_SLIDER, "Blur", 0, 0, 100, 20});
    v.push_back({PF_Param_COLOR, "Color"});
    v.push_back({PF_Param_POPUP, "Blend", 0x40, 0, 0, 0, "Add|Normal|Screen", 3});
    v.push_back({PF_Param_FLOAT_SLIDER, "Position", 0, 0, 100, 100});
    v.push_back({PF_Param_FLOAT_SLIDER, "Range", 0, 0, 100, 80});
    v.push_back({PF_Param_GROUP_END, ""});
    v.push_back({PF_Param_GROUP_START, "Options"});
    v.push_back({PF_Param_POPUP, "Link Masks", 0x40, 0, 0, 0, "Mask Color|Mask Name", 2});
    v.push_back({PF_Param_GROUP_END, ""});
    return v;
}

TEST(ParameterSetup, DeclaresTheWholeListInOrder) {
    auto host = zptest::newHost();
    ASSERT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->outData().num_params, 223);
    EXPECT_EQ(host->addParamCalls(), 222);
    const auto expected = expectedList();
    ASSERT_EQ(host->declared().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        const PF_ParamDef& d = host->declared()[i].def;
        SCOPED_TRACE("index " + std::to_string(i + 1) + " " + e.name);
        EXPECT_EQ(d.param_type, e.type);
        EXPECT_EQ(std::string(d.name), e.name);
        EXPECT_EQ(d.flags, e.flags);
        EXPECT_EQ(d.uu.id, 0);
        EXPECT_EQ(d.ui_flags, 0);
        EXPECT_EQ(d.ui_width, 0);
        EXPECT_EQ(d.ui_height, 0);
        switch (e.type) {
        case PF_Param_FLOAT_SLIDER:
            EXPECT_EQ(d.u.fs_d.valid_min, e.lo);
            EXPECT_EQ(d.u.fs_d.slider_min, e.lo);
            EXPECT_EQ(d.u.fs_d.valid_max, e.hi);
            EXPECT_EQ(d.u.fs_d.slider_max, e.hi);
            EXPECT_EQ(d.u.fs_d.value, double(e.dflt));
            EXPECT_EQ(d.u.fs_d.dephault, e.dflt);
            EXPECT_EQ(d.u.fs_d.precision, 1);
            EXPECT_EQ(d.u.fs_d.display_flags, 0);
            EXPECT_EQ(d.u.fs_d.fs_flags, 0);
            EXPECT_EQ(d.u.fs_d.curve_tolerance, 0.0f);
            EXPECT_EQ(d.u.fs_d.useExponent, 0);
            break;
        case PF_Param_COLOR:
            for (PF_Pixel p : {d.u.cd.value, d.u.cd.dephault}) {
                EXPECT_EQ(p.alpha, 255);
                EXPECT_EQ(p.red, 255);
                EXPECT_EQ(p.green, 255);
                EXPECT_EQ(p.blue, 255);
            }
            break;
        case PF_Param_POPUP:
            EXPECT_EQ(host->declared()[i].popupChoices, e.choices);
            EXPECT_EQ(d.u.pd.num_choices, e.name == "Blend" ? 3 : 2);
            EXPECT_EQ(d.u.pd.dephault, e.popupDefault);
            EXPECT_EQ(d.u.pd.value, e.popupDefault);
            break;
        case PF_Param_CHECKBOX:
            EXPECT_EQ(d.u.bd.value, 0);
            EXPECT_EQ(d.u.bd.dephault, 0);
            break;
        case PF_Param_PATH:
            EXPECT_EQ(d.u.path_d.dephault, 0);
            EXPECT_EQ(d.u.path_d.path_id, 0);
            break;
        default:
            break;
        }
    }
}

TEST(ParameterSetup, ARefusedStructuralDeclarationEndsSetupWithTheHostsCode) {
    auto host = zptest::newHost();
    host->outData().num_params = 5;
    host->failAddParam(2, PF_Err_OUT_OF_MEMORY); // the first adjust group's start
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host->addParamCalls(), 2);
    EXPECT_EQ(host->outData().num_params, 5);
}

TEST(ParameterSetup, ARefusedSliderIsPassedOver) {
    auto host = zptest::newHost();
    host->failAddParam(4, PF_Err_BAD_CALLBACK_PARAM); // "Hue" of the first group
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(host->addParamCalls(), 222);
    EXPECT_EQ(host->outData().num_params, 223);
}

TEST(ParameterSetup, EveryStoppingDeclarationStopsAndNoOtherDoes) {
    const auto expected = expectedList();
    for (int n = 1; n <= 222; ++n) {
        auto host = zptest::newHost();
        host->failAddParam(n, 99);
        const PF_Err err = host->send(PF_Cmd_PARAMS_SETUP);
        const Expected& e = expected[static_cast<size_t>(n - 1)];
        // Declarations that stop: the checkbox, the adjust groups' start, mask and end, the
        // colorize masks and colours, the glow's colour and blend, "Link Masks".
        const bool inAdjust = n >= 2 && n <= 141;
        const bool inColorize = n >= 143 && n <= 202;
        bool stops = n == 1 || n == 215 || n == 216 || n == 221;
        if (inAdjust)
            stops |= e.type != PF_Param_FLOAT_SLIDER;
        if (inColorize)
            stops |= e.type != PF_Param_FLOAT_SLIDER;
        if (n == 222) {
            EXPECT_EQ(err, 99) << "the last declaration's result is the command's";
            EXPECT_EQ(host->outData().num_params, 223);
        } else if (stops) {
            EXPECT_EQ(err, 99) << n;
            EXPECT_EQ(host->addParamCalls(), n);
        } else {
            EXPECT_EQ(err, PF_Err_NONE) << n;
            EXPECT_EQ(host->addParamCalls(), 222);
        }
    }
}

} // namespace
