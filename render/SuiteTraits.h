// Each suite table bound to the name and version number that the host answers with it, so that
// a holder can be asked for a suite by its type alone and cannot pair a table with another
// suite's name or number. The struct and macro names are spelled the same in the project's
// declarations and in the official headers, so the bindings serve both builds.
#pragma once

#include "host/HostApi.h"

#include <string_view>

// Left undefined: a suite without a binding cannot be asked for.
template <class Suite> struct SuiteTraits;

#define ZP_SUITE_TRAITS(Suite, nameMacro, versionMacro)                                            \
    template <> struct SuiteTraits<Suite> {                                                        \
        static constexpr const char* name = nameMacro;                                             \
        static constexpr int version = versionMacro;                                               \
    }

ZP_SUITE_TRAITS(SPBasicSuite, kSPBasicSuite, kSPBasicSuiteVersion);
ZP_SUITE_TRAITS(PF_HandleSuite1, kPFHandleSuite, kPFHandleSuiteVersion1);
ZP_SUITE_TRAITS(PF_PathQuerySuite1, kPFPathQuerySuite, kPFPathQuerySuiteVersion1);
ZP_SUITE_TRAITS(PF_PathDataSuite1, kPFPathDataSuite, kPFPathDataSuiteVersion1);
ZP_SUITE_TRAITS(PF_ParamUtilsSuite1, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1);
ZP_SUITE_TRAITS(AEGP_UtilitySuite4, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion4);
ZP_SUITE_TRAITS(AEGP_PFInterfaceSuite1, kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1);
ZP_SUITE_TRAITS(AEGP_LayerSuite5, kAEGPLayerSuite, kAEGPLayerSuiteVersion5);
ZP_SUITE_TRAITS(AEGP_MaskSuite4, kAEGPMaskSuite, kAEGPMaskSuiteVersion4);
ZP_SUITE_TRAITS(AEGP_StreamSuite2, kAEGPStreamSuite, kAEGPStreamSuiteVersion2);
ZP_SUITE_TRAITS(AEGP_MaskOutlineSuite1, kAEGPMaskOutlineSuite, kAEGPMaskOutlineSuiteVersion1);
// Multi-frame rendering's suites: declared by effect API 13.25 and up only.
#if ZP_HOST_THREADED
ZP_SUITE_TRAITS(PF_EffectSequenceDataSuite1, kPFEffectSequenceDataSuite,
                kPFEffectSequenceDataSuiteVersion1);
ZP_SUITE_TRAITS(AEGP_ComputeCacheSuite1, kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
ZP_SUITE_TRAITS(AEGP_HashSuite1, kAEGPHashSuite, kAEGPHashSuiteVersion1);
#endif

#undef ZP_SUITE_TRAITS

// The host's pairs, written out: a binding to the wrong macro stops the build. The version
// number is the one that returns this table, often not the number in its name.
namespace zp_suite_traits_checks {
template <class Suite> constexpr bool binds(std::string_view name, int version) {
    return std::string_view(SuiteTraits<Suite>::name) == name &&
           SuiteTraits<Suite>::version == version;
}
static_assert(binds<SPBasicSuite>("SP Basic Suite", 4));
static_assert(binds<PF_HandleSuite1>("PF Handle Suite", 2));
static_assert(binds<PF_PathQuerySuite1>("PF Path Query Suite", 1));
static_assert(binds<PF_PathDataSuite1>("PF Path Data Suite", 1));
static_assert(binds<PF_ParamUtilsSuite1>("PF Param Utils Suite", 2));
static_assert(binds<AEGP_UtilitySuite4>("AEGP Utility Suite", 10));
static_assert(binds<AEGP_PFInterfaceSuite1>("AEGP PF Interface Suite", 1));
static_assert(binds<AEGP_LayerSuite5>("AEGP Layer Suite", 11));
static_assert(binds<AEGP_MaskSuite4>("AEGP Layer Mask Suite", 5));
static_assert(binds<AEGP_StreamSuite2>("AEGP Stream Suite", 7));
static_assert(binds<AEGP_MaskOutlineSuite1>("AEGP Mask Outline Suite", 2));
#if ZP_HOST_THREADED
static_assert(binds<PF_EffectSequenceDataSuite1>("PF Effect Sequence Data Suite", 1));
static_assert(binds<AEGP_ComputeCacheSuite1>("AEGP Compute Cache", 1));
static_assert(binds<AEGP_HashSuite1>("AEGP Hash Suite", 1));
#endif
} // namespace zp_suite_traits_checks
