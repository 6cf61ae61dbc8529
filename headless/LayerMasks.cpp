#include "headless/LayerMasks.h"

#include "headless/HostTables.h"

#include <cstring>
#include <memory>

namespace headless {

namespace {

// Every fallible call may be told to fail through the host's fault plan; such a call returns
// this code and hands nothing out.
constexpr A_Err kInjected = 1;

struct LayerToken {
    int dummy;
};
LayerToken g_layer;

struct MaskRefRec {
    int index;
};
struct StreamRec {
    int maskIndex;
    AEGP_MaskStream which;
};
struct OutlineRec {
    std::vector<AEGP_MaskVertex> vertices;
    bool closed;
};
struct PathOutlineRec {
    PF_PathID id;
};

LayerMasks& layer() {
    return Host::current()->extension<LayerMasks>();
}
bool fail(const char* fn) {
    return Host::current()->faults.shouldFail(fn);
}

// --- AEGP PF Interface Suite -----------------------------------------------------------------
A_Err getEffectLayer(PF_ProgPtr, AEGP_LayerH* layerPH) {
    if (layerPH)
        *layerPH = nullptr;
    if (fail("AEGP_GetEffectLayer") || layerPH == nullptr)
        return kInjected;
    *layerPH = reinterpret_cast<AEGP_LayerH>(&g_layer);
    return A_Err_NONE;
}

// --- AEGP Layer Mask Suite -------------------------------------------------------------------
A_Err getLayerNumMasks(AEGP_LayerH layerH, A_long* num) {
    if (fail("AEGP_GetLayerNumMasks") || num == nullptr ||
        layerH != reinterpret_cast<AEGP_LayerH>(&g_layer))
        return kInjected;
    *num = static_cast<A_long>(layer().masks.size());
    return A_Err_NONE;
}

A_Err getLayerMaskByIndex(AEGP_LayerH, AEGP_MaskIndex index, AEGP_MaskRefH* maskPH) {
    if (maskPH)
        *maskPH = nullptr;
    if (fail("AEGP_GetLayerMaskByIndex") || maskPH == nullptr)
        return kInjected;
    if (index < 0 || index >= static_cast<A_long>(layer().masks.size()))
        return kInjected;
    *maskPH = reinterpret_cast<AEGP_MaskRefH>(new MaskRefRec{index});
    ++layer().liveMasks_;
    return A_Err_NONE;
}

A_Err disposeMask(AEGP_MaskRefH maskH) {
    if (maskH == nullptr)
        return kInjected;
    delete reinterpret_cast<MaskRefRec*>(maskH);
    --layer().liveMasks_;
    return A_Err_NONE;
}

const HostMask* maskOf(AEGP_MaskRefH maskH) {
    if (maskH == nullptr)
        return nullptr;
    const int i = reinterpret_cast<MaskRefRec*>(maskH)->index;
    return &layer().masks[static_cast<size_t>(i)];
}

A_Err getMaskMode(AEGP_MaskRefH maskH, PF_MaskMode* modeP) {
    if (fail("AEGP_GetMaskMode") || modeP == nullptr || maskOf(maskH) == nullptr)
        return kInjected;
    *modeP = maskOf(maskH)->mode;
    return A_Err_NONE;
}

A_Err getMaskColor(AEGP_MaskRefH maskH, AEGP_ColorVal* colorP) {
    if (fail("AEGP_GetMaskColor") || colorP == nullptr || maskOf(maskH) == nullptr)
        return kInjected;
    const HostMask* m = maskOf(maskH);
    *colorP = AEGP_ColorVal{m->alpha, m->red, m->green, m->blue};
    return A_Err_NONE;
}

A_Err getMaskName(AEGP_MaskRefH maskH, A_char* nameZ) {
    if (fail("AEGP_GetMaskName") || nameZ == nullptr || maskOf(maskH) == nullptr)
        return kInjected;
    std::strncpy(nameZ, maskOf(maskH)->name.c_str(), AEGP_MAX_MASK_NAME_SIZE - 1);
    nameZ[AEGP_MAX_MASK_NAME_SIZE - 1] = '\0';
    return A_Err_NONE;
}

// --- AEGP Stream Suite -----------------------------------------------------------------------
A_Err getNewMaskStream(AEGP_PluginID, AEGP_MaskRefH maskH, AEGP_MaskStream which,
                       AEGP_StreamRefH* streamPH) {
    if (streamPH)
        *streamPH = nullptr;
    if (fail("AEGP_GetNewMaskStream") || streamPH == nullptr || maskH == nullptr)
        return kInjected;
    if (which != AEGP_MaskStream_OUTLINE && which != AEGP_MaskStream_OPACITY &&
        which != AEGP_MaskStream_EXPANSION && which != AEGP_MaskStream_FEATHER)
        return kInjected;
    *streamPH = reinterpret_cast<AEGP_StreamRefH>(
        new StreamRec{reinterpret_cast<MaskRefRec*>(maskH)->index, which});
    ++layer().liveStreams_;
    return A_Err_NONE;
}

A_Err disposeStream(AEGP_StreamRefH streamH) {
    if (streamH == nullptr)
        return kInjected;
    delete reinterpret_cast<StreamRec*>(streamH);
    --layer().liveStreams_;
    return A_Err_NONE;
}

A_Err getNewStreamValue(AEGP_PluginID, AEGP_StreamRefH streamH, AEGP_LTimeMode, const A_Time*,
                        A_Boolean, AEGP_StreamValue* valueP) {
    if (fail("AEGP_GetNewStreamValue") || streamH == nullptr || valueP == nullptr)
        return kInjected;
    const auto* s = reinterpret_cast<StreamRec*>(streamH);
    const HostMask& m = layer().masks[static_cast<size_t>(s->maskIndex)];
    std::memset(valueP, 0, sizeof *valueP);
    valueP->streamH = streamH;
    switch (s->which) {
    case AEGP_MaskStream_OPACITY:
        valueP->val.one_d = m.opacity;
        break;
    case AEGP_MaskStream_EXPANSION:
        valueP->val.one_d = m.expansion;
        break;
    case AEGP_MaskStream_OUTLINE: {
        auto* holder = new OutlineRec*(new OutlineRec{m.vertices, m.closed});
        valueP->val.mask = reinterpret_cast<AEGP_MaskOutlineValH>(holder);
        break;
    }
    default:
        valueP->val.one_d = 0;
        break;
    }
    ++layer().liveValues_;
    return A_Err_NONE;
}

A_Err disposeStreamValue(AEGP_StreamValue* valueP) {
    if (valueP == nullptr || valueP->streamH == nullptr)
        return kInjected;
    const auto* s = reinterpret_cast<StreamRec*>(valueP->streamH);
    if (s->which == AEGP_MaskStream_OUTLINE && valueP->val.mask != nullptr) {
        auto** holder = reinterpret_cast<OutlineRec**>(valueP->val.mask);
        delete *holder;
        delete holder;
    }
    std::memset(valueP, 0, sizeof *valueP);
    --layer().liveValues_;
    return A_Err_NONE;
}

// --- AEGP Mask Outline Suite -----------------------------------------------------------------
const OutlineRec* outlineOf(AEGP_MaskOutlineValH h) {
    return h == nullptr ? nullptr : *reinterpret_cast<OutlineRec**>(h);
}

// A closed outline of n vertices has n segments, an open one n - 1.
A_Err getMaskOutlineNumSegments(AEGP_MaskOutlineValH h, A_long* num) {
    if (fail("AEGP_GetMaskOutlineNumSegments") || outlineOf(h) == nullptr || num == nullptr)
        return kInjected;
    const OutlineRec* o = outlineOf(h);
    const auto n = static_cast<A_long>(o->vertices.size());
    *num = o->closed ? n : (n > 0 ? n - 1 : 0);
    return A_Err_NONE;
}

// Vertex n of a closed outline of n vertices repeats vertex 0.
A_Err getMaskOutlineVertexInfo(AEGP_MaskOutlineValH h, AEGP_VertexIndex which,
                               AEGP_MaskVertex* vertexP) {
    if (fail("AEGP_GetMaskOutlineVertexInfo") || outlineOf(h) == nullptr || vertexP == nullptr)
        return kInjected;
    const OutlineRec* o = outlineOf(h);
    const auto n = static_cast<A_long>(o->vertices.size());
    if (which < 0 || n == 0)
        return kInjected;
    if (which < n) {
        *vertexP = o->vertices[static_cast<size_t>(which)];
        return A_Err_NONE;
    }
    if (which == n && o->closed) {
        *vertexP = o->vertices[0];
        return A_Err_NONE;
    }
    return kInjected;
}

// --- PF Path Query / Path Data Suites --------------------------------------------------------
PF_Err numPaths(PF_ProgPtr, A_long* num) {
    if (fail("PF_NumPaths") || num == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    *num = static_cast<A_long>(layer().masks.size());
    return PF_Err_NONE;
}

PF_Err pathInfo(PF_ProgPtr, A_long index, PF_PathID* idP) {
    if (fail("PF_PathInfo") || idP == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (index < 0 || index >= static_cast<A_long>(layer().masks.size()))
        return PF_Err_BAD_CALLBACK_PARAM;
    *idP = index + 1;
    return PF_Err_NONE;
}

PF_Err checkoutPath(PF_ProgPtr, PF_PathID id, A_long, A_long, A_u_long, PF_PathOutlinePtr* pathPP) {
    if (pathPP)
        *pathPP = nullptr;
    if (fail("PF_CheckoutPath") || pathPP == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (id < 1 || id > static_cast<PF_PathID>(layer().masks.size()))
        return PF_Err_BAD_CALLBACK_PARAM;
    *pathPP = reinterpret_cast<PF_PathOutlinePtr>(new PathOutlineRec{id});
    ++layer().outstandingPaths_;
    return PF_Err_NONE;
}

PF_Err checkinPath(PF_ProgPtr, PF_PathID, PF_Boolean, PF_PathOutlinePtr pathP) {
    ++layer().pathCheckins_;
    if (pathP == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    delete reinterpret_cast<PathOutlineRec*>(pathP);
    --layer().outstandingPaths_;
    return PF_Err_NONE;
}

PF_Err pathGetName(PF_ProgPtr, PF_PathID id, A_char* nameZ) {
    if (fail("PF_PathGetName") || nameZ == nullptr)
        return PF_Err_BAD_CALLBACK_PARAM;
    if (id < 1 || id > static_cast<PF_PathID>(layer().masks.size()))
        return PF_Err_BAD_CALLBACK_PARAM;
    std::strncpy(nameZ, layer().masks[static_cast<size_t>(id - 1)].name.c_str(),
                 PF_MAX_PATH_NAME_LEN);
    nameZ[PF_MAX_PATH_NAME_LEN] = '\0';
    return PF_Err_NONE;
}

AEGP_PFInterfaceSuite1 makePFInterfaceSuite() {
    auto t = trappedTable<kPFInterfaceSuite, AEGP_PFInterfaceSuite1>();
    ZP_SERVE(kPFInterfaceSuite, t, AEGP_GetEffectLayer, getEffectLayer);
    return t;
}

AEGP_MaskSuite4 makeMaskSuite() {
    auto t = trappedTable<kMaskSuite, AEGP_MaskSuite4>();
    ZP_SERVE(kMaskSuite, t, AEGP_GetLayerNumMasks, getLayerNumMasks);
    ZP_SERVE(kMaskSuite, t, AEGP_GetLayerMaskByIndex, getLayerMaskByIndex);
    ZP_SERVE(kMaskSuite, t, AEGP_DisposeMask, disposeMask);
    ZP_SERVE(kMaskSuite, t, AEGP_GetMaskMode, getMaskMode);
    ZP_SERVE(kMaskSuite, t, AEGP_GetMaskName, getMaskName);
    ZP_SERVE(kMaskSuite, t, AEGP_GetMaskColor, getMaskColor);
    return t;
}

AEGP_StreamSuite2 makeStreamSuite() {
    auto t = trappedTable<kStreamSuite, AEGP_StreamSuite2>();
    ZP_SERVE(kStreamSuite, t, AEGP_GetNewMaskStream, getNewMaskStream);
    ZP_SERVE(kStreamSuite, t, AEGP_DisposeStream, disposeStream);
    ZP_SERVE(kStreamSuite, t, AEGP_GetNewStreamValue, getNewStreamValue);
    ZP_SERVE(kStreamSuite, t, AEGP_DisposeStreamValue, disposeStreamValue);
    return t;
}

AEGP_MaskOutlineSuite1 makeMaskOutlineSuite() {
    auto t = trappedTable<kMaskOutlineSuite, AEGP_MaskOutlineSuite1>();
    ZP_SERVE(kMaskOutlineSuite, t, AEGP_GetMaskOutlineNumSegments, getMaskOutlineNumSegments);
    ZP_SERVE(kMaskOutlineSuite, t, AEGP_GetMaskOutlineVertexInfo, getMaskOutlineVertexInfo);
    return t;
}

PF_PathQuerySuite1 makePathQuerySuite() {
    auto t = trappedTable<kPathQuerySuite, PF_PathQuerySuite1>();
    ZP_SERVE(kPathQuerySuite, t, PF_NumPaths, numPaths);
    ZP_SERVE(kPathQuerySuite, t, PF_PathInfo, pathInfo);
    ZP_SERVE(kPathQuerySuite, t, PF_CheckoutPath, checkoutPath);
    ZP_SERVE(kPathQuerySuite, t, PF_CheckinPath, checkinPath);
    return t;
}

PF_PathDataSuite1 makePathDataSuite() {
    auto t = trappedTable<kPathDataSuite, PF_PathDataSuite1>();
    ZP_SERVE(kPathDataSuite, t, PF_PathGetName, pathGetName);
    return t;
}

const AEGP_PFInterfaceSuite1 g_pfInterface = makePFInterfaceSuite();
const AEGP_MaskSuite4 g_maskSuite = makeMaskSuite();
const AEGP_StreamSuite2 g_streamSuite = makeStreamSuite();
const AEGP_MaskOutlineSuite1 g_outlineSuite = makeMaskOutlineSuite();
const PF_PathQuerySuite1 g_pathQuery = makePathQuerySuite();
const PF_PathDataSuite1 g_pathData = makePathDataSuite();

} // namespace

void registerRenderSuites(Host& host) {
    host.registerSuite(kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &g_pfInterface);
    host.registerSuite(kAEGPMaskSuite, kAEGPMaskSuiteVersion4, &g_maskSuite);
    host.registerSuite(kAEGPStreamSuite, kAEGPStreamSuiteVersion2, &g_streamSuite);
    host.registerSuite(kAEGPMaskOutlineSuite, kAEGPMaskOutlineSuiteVersion1, &g_outlineSuite);
    host.registerSuite(kPFPathQuerySuite, kPFPathQuerySuiteVersion1, &g_pathQuery);
    host.registerSuite(kPFPathDataSuite, kPFPathDataSuiteVersion1, &g_pathData);
}

} // namespace headless
