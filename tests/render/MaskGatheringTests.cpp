#include "effect/HostBinding.h"
#include "headless/LayerMasks.h"
#include "render/MaskGathering.h"
#include "render/RenderContext.h"
#include "render/RenderState.h"
#include "tests/support/HostFixture.h"

#include <gtest/gtest.h>

namespace {

using headless::HostMask;

HostMask mask(const std::string& name, double r, double g, double b, bool closed = true,
              int vertices = 4) {
    HostMask m;
    m.name = name;
    m.red = r;
    m.green = g;
    m.blue = b;
    m.closed = closed;
    for (int i = 0; i < vertices; ++i) {
        AEGP_MaskVertex v{};
        v.x = 10.0 * i;
        v.y = 5.0 + i;
        v.tan_out_x = i == 1 ? 3.0 : 0.0;
        m.vertices.push_back(v);
    }
    return m;
}

class MaskGathering : public ::testing::Test {
protected:
    void SetUp() override {
        host = zptest::newHost();
        state = makeRenderState(host->basicSuite());
    }
    void TearDown() override {
        state.reset();
        EXPECT_EQ(layer().outstanding(), 0) << "mask handles, streams or values left behind";
        EXPECT_EQ(host->outstandingSuites(), 0);
    }
    headless::LayerMasks& layer() { return host->extension<headless::LayerMasks>(); }
    PF_InData* in() { return &host->preparedInData(); }
    std::vector<std::string> names(const MaskList& l) {
        std::vector<std::string> v;
        for (const MaskRef& m : l)
            v.push_back(m->name);
        return v;
    }

    std::unique_ptr<headless::Host> host;
    std::unique_ptr<RenderState> state;
    RenderContext context;
};

TEST_F(MaskGathering, ALayerWithoutMasksGivesNothingToLink) {
    gatherMasks(*state, context, in());
    EXPECT_TRUE(context.all_masks.empty());
    MaskList linked;
    linkMasks(*state, context, 1, linked, in(), kLinkByName);
    EXPECT_TRUE(linked.empty());
}

TEST_F(MaskGathering, ReadsEveryFieldAndClosesClosedOutlines) {
    HostMask open = mask("Open", 1, 0, 0, false);
    open.mode = 3;
    open.opacity = 55.5;
    open.expansion = -2;
    open.alpha = 0.5;
    layer().masks = {open, mask("Closed", 0, 0, 1, true)};
    gatherMasks(*state, context, in());
    ASSERT_EQ(context.all_masks.size(), 2u);
    const Mask& a = *context.all_masks[0];
    EXPECT_EQ(a.name, "Open");
    EXPECT_EQ(a.mode, 3);
    EXPECT_FLOAT_EQ(a.opacity, 55.5f);
    EXPECT_FLOAT_EQ(a.expansion, -2.0f);
    EXPECT_EQ(a.color_alpha, 0.5f);
    EXPECT_EQ(a.color_red, 1.0f);
    EXPECT_EQ(a.label, 0);
    ASSERT_EQ(a.vertices.size(), 4u) << "an open outline of four points";
    EXPECT_EQ(a.vertices[1].tan_out_x, 3.0);
    const Mask& b = *context.all_masks[1];
    ASSERT_EQ(b.vertices.size(), 5u) << "a closed outline repeats its first point";
    EXPECT_EQ(b.vertices[4].x, b.vertices[0].x);
    EXPECT_EQ(b.vertices[4].y, b.vertices[0].y);
    EXPECT_EQ(layer().outstandingPaths(), 0);
}

// All four components count, alpha included: each of the masks between A and C differs from
// them in one component only.
TEST_F(MaskGathering, LinkByColorTakesEveryMaskOfTheChosenColourInLayerOrder) {
    HostMask translucent = mask("Alpha", 1, 0.5, 0);
    translucent.alpha = 0.5;
    layer().masks = {mask("A", 1, 0.5, 0),
                     mask("Red", 0.5, 0.5, 0),
                     mask("Green", 1, 0, 0),
                     mask("Blue", 1, 0.5, 1),
                     translucent,
                     mask("C", 1, 0.5, 0)};
    gatherMasks(*state, context, in());
    MaskList linked;
    linkMasks(*state, context, 6, linked, in(), kLinkByColor);
    EXPECT_EQ(names(linked), (std::vector<std::string>{"A", "C"}));
}

TEST_F(MaskGathering, LinkByNameIsACaseSensitivePrefixMatch) {
    layer().masks = {mask("Sky", 0, 0, 1),      mask("Sky 2", 0, 0, 1), mask("Skyline", 0, 1, 0),
                     mask("Blue Sky", 0, 0, 1), mask("sky 2", 0, 0, 1), mask("Sk", 0, 0, 1)};
    gatherMasks(*state, context, in());
    MaskList linked;
    linkMasks(*state, context, 1, linked, in(), kLinkByName);
    EXPECT_EQ(names(linked), (std::vector<std::string>{"Sky", "Sky 2", "Skyline"}));
}

TEST_F(MaskGathering, SharedNamesLinkOncePerNamesake) {
    layer().masks = {mask("Face", 1, 0, 0), mask("Face", 0, 1, 0), mask("X", 0, 1, 0)};
    gatherMasks(*state, context, in());
    MaskList linked;
    linkMasks(*state, context, 2, linked, in(), kLinkByColor);
    EXPECT_EQ(names(linked), (std::vector<std::string>{"Face", "Face", "X"}));
    linkMasks(*state, context, 1, linked, in(), kLinkByName);
    EXPECT_EQ(names(linked), (std::vector<std::string>{"Face", "Face", "Face", "Face"}));
}

TEST_F(MaskGathering, NoMaskChosenUnknownPathOrModeLinkNothing) {
    layer().masks = {mask("A", 1, 0, 0)};
    gatherMasks(*state, context, in());
    MaskList linked;
    linkMasks(*state, context, 0, linked, in(), kLinkByName);
    EXPECT_TRUE(linked.empty());
    linkMasks(*state, context, 7, linked, in(), kLinkByName);
    EXPECT_TRUE(linked.empty());
    linkMasks(*state, context, 1, linked, in(), 2);
    EXPECT_TRUE(linked.empty());
    host->faults.clear();
    host->faults.failCall("PF_PathGetName", 1);
    linkMasks(*state, context, 1, linked, in(), kLinkByName);
    EXPECT_TRUE(linked.empty());
}

TEST_F(MaskGathering, ALongNameStaysTerminated) {
    layer().masks = {mask(std::string(60, 'n'), 1, 0, 0)};
    gatherMasks(*state, context, in());
    ASSERT_EQ(context.all_masks.size(), 1u);
    EXPECT_EQ(context.all_masks[0]->name, std::string(AEGP_MAX_MASK_NAME_SIZE - 1, 'n'));
    MaskList linked;
    linkMasks(*state, context, 1, linked, in(), kLinkByName);
    EXPECT_EQ(linked.size(), 1u);
}

// A checked failure while reading mask k makes no mask of it and reads no further ones, but
// keeps the masks before it; unchecked ones only leave neutral values. Either way every host
// object is given back (checked in TearDown).
TEST_F(MaskGathering, FailuresShortenTheListAndLeakNothing) {
    for (int i = 0; i < 4; ++i)
        layer().masks.push_back(mask("M" + std::to_string(i), 1, 0, 0));
    struct Case {
        const char* fn;
        int nth;
        size_t expected;
    };
    const Case cases[] = {
        {"AEGP_GetEffectLayer", 1, 0},
        {"AEGP_GetLayerMaskByIndex", 3, 2},
        {"AEGP_GetNewMaskStream", 6, 1},
        {"AEGP_GetNewStreamValue", 6, 1},
        {"AEGP_GetMaskOutlineNumSegments", 1, 0},
        {"AEGP_GetMaskOutlineVertexInfo", 7, 1}, // the second vertex of the second mask
        {"AEGP_GetMaskName", 2, 4},
        {"AEGP_GetNewMaskStream", 1, 4},
        {"PF_CheckoutPath", 2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fn) + " #" + std::to_string(c.nth));
        host->faults.clear();
        host->faults.failCall(c.fn, c.nth);
        gatherMasks(*state, context, in());
        EXPECT_EQ(context.all_masks.size(), c.expected);
        EXPECT_EQ(layer().outstanding(), 0);
    }
    // The unchecked name failure left the second mask nameless; the opacity one a zero.
    host->faults.clear();
    host->faults.failCall("AEGP_GetNewMaskStream", 1);
    gatherMasks(*state, context, in());
    EXPECT_EQ(context.all_masks[0]->opacity, 0.0f);
    EXPECT_EQ(context.all_masks[1]->opacity, 100.0f);

    // A path whose checkout failed is checked in all the same.
    host->faults.clear();
    host->faults.failCall("PF_CheckoutPath", 2);
    const int64_t before = layer().pathCheckins();
    gatherMasks(*state, context, in());
    EXPECT_EQ(layer().pathCheckins() - before, 4);
}

} // namespace
