#include "render/ParamLayout.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<headless::Host> hostWithParams() {
    auto host = zptest::newHost();
    EXPECT_EQ(host->send(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    return host;
}

bool disabled(const headless::Host::UiUpdate& u) {
    return (u.ui_flags & PF_PUI_DISABLED) != 0;
}

// The host hands out copies of the records it holds; greying them all out first lets a test
// see the effect clear the flag, not merely leave it unset.
void greyEverything(headless::Host& host) {
    for (int i = 0; i < host.paramCount(); ++i)
        host.param(i).ui_flags |= PF_PUI_DISABLED;
}

TEST(ParamUI, SendsEveryControlInOrderGreyingGroupsWithoutAMask) {
    auto host = hostWithParams();
    host->setPath(params::adjustMask(0), 1);
    host->setPath(params::colorizeMask(4), 2);
    ASSERT_EQ(host->send(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    const auto& u = host->uiUpdates;
    ASSERT_EQ(u.size(), 152u);
    std::vector<int> order;
    for (int g = 0; g < 10; ++g)
        for (int s = 4; s <= 14; ++s)
            order.push_back(14 * g + s);
    for (int k = 0; k < 20; ++k) {
        order.push_back(144 + 3 * k);
        order.push_back(145 + 3 * k);
    }
    order.push_back(217);
    order.push_back(218);
    for (size_t i = 0; i < u.size(); ++i) {
        EXPECT_EQ(u[i].index, order[i]) << i;
        EXPECT_TRUE(u[i].flags & PF_ParamFlag_COLLAPSE_TWIRLY) << i;
    }
    for (size_t i = 0; i < 11; ++i)
        EXPECT_FALSE(disabled(u[i])) << "group 1 has a mask";
    for (size_t i = 22; i < 33; ++i)
        EXPECT_TRUE(disabled(u[i])) << "group 3, indices 32..42";
    EXPECT_EQ(u[22].index, 32);
    EXPECT_EQ(u[32].index, 42);
    EXPECT_FALSE(disabled(u[110 + 8])) << "slot 5's colour";
    EXPECT_FALSE(disabled(u[110 + 9]));
    EXPECT_EQ(u[148].index, 201);
    EXPECT_TRUE(disabled(u[148])) << "slot 20 has no mask";
    EXPECT_TRUE(disabled(u[149]));
    EXPECT_FALSE(disabled(u[150])) << "Screen weights by luma";
    EXPECT_EQ(host->outstandingSuites(), 0);
    EXPECT_EQ(host->outstandingCheckouts(), 0);

    host->uiUpdates.clear();
    greyEverything(*host);
    host->setPath(params::adjustMask(2), 3);
    ASSERT_EQ(host->send(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    ASSERT_EQ(host->uiUpdates.size(), 152u);
    for (size_t i = 0; i < 152; ++i) {
        const bool hasMask = i < 11 || (i >= 22 && i < 33) || i == 118 || i == 119 || i >= 150;
        EXPECT_EQ(disabled(host->uiUpdates[i]), !hasMask) << "update " << i;
    }
}

TEST(ParamUI, NormalBlendGreysTheGlowsPositionAndRange) {
    for (int blend : {1, 2, 3}) {
        auto host = hostWithParams();
        greyEverything(*host);
        host->setPopup(params::kGlowBlend, blend);
        ASSERT_EQ(host->send(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
        const auto& u = host->uiUpdates;
        EXPECT_EQ(disabled(u[150]), blend == 2) << blend;
        EXPECT_EQ(disabled(u[151]), blend == 2) << blend;
    }
}

TEST(ParamUI, AMissingSuiteTouchesNothing) {
    auto host = hostWithParams();
    host->withholdSuite("PF Param Utils Suite", 2);
    EXPECT_EQ(host->send(PF_Cmd_UPDATE_PARAMS_UI), A_Err_MISSING_SUITE);
    EXPECT_TRUE(host->uiUpdates.empty());
    EXPECT_EQ(host->checkouts(), 0);
}

TEST(ParamUI, AFailedMaskReadCountsAsNoMask) {
    auto host = hostWithParams();
    host->setPath(params::adjustMask(0), 1);
    host->faults.failCall("checkout_param", 1);
    ASSERT_EQ(host->send(PF_Cmd_UPDATE_PARAMS_UI), PF_Err_NONE);
    EXPECT_TRUE(disabled(host->uiUpdates[0]));
}

TEST(ChangedParam, ForceUpdateActsAsAPushButton) {
    auto host = hostWithParams();
    host->setCheckbox(params::kForceUpdate, 1);
    PF_UserChangedParamExtra extra{params::kForceUpdate};
    host->outData().out_flags = 0;
    ASSERT_EQ(host->send(PF_Cmd_USER_CHANGED_PARAM, &extra), PF_Err_NONE);
    EXPECT_EQ(host->param(params::kForceUpdate).u.bd.value, 0) << "unticked again";
    EXPECT_TRUE(host->outData().out_flags & PF_OutFlag_FORCE_RERENDER);

    host->outData().out_flags = 0;
    ASSERT_EQ(host->send(PF_Cmd_USER_CHANGED_PARAM, &extra), PF_Err_NONE);
    EXPECT_EQ(host->outData().out_flags, 0) << "already unticked: nothing to do";

    host->setCheckbox(params::kForceUpdate, 1);
    PF_UserChangedParamExtra other{params::kLinkMasks};
    ASSERT_EQ(host->send(PF_Cmd_USER_CHANGED_PARAM, &other), PF_Err_NONE);
    EXPECT_EQ(host->param(params::kForceUpdate).u.bd.value, 1);
    EXPECT_EQ(host->outData().out_flags, 0);
}

} // namespace
