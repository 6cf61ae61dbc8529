// The one way in to the host's declarations. A build with ZP_HOST_SDK_DIR set defines ZP_HOST_SDK
// for the effect library and the loader, which then see the official headers from that folder
// and nothing of host/; every other build sees the project's own declarations, which lay out
// every record and suite exactly as the official headers do (host/LayoutChecks.h).
#pragma once

#if defined(ZP_HOST_SDK)
#include <AE_Effect.h>
#include <AE_EffectCB.h>
#include <AE_EffectCBSuites.h>
#include <AE_EffectSuites.h>
#include <AE_GeneralPlug.h>
#include <SPBasic.h>
// Multi-frame rendering (the sequence data suite, get-flattened, the compute cache and hash
// suites) came with effect API 13.25; the configure reads the headers' version and defines
// ZP_HOST_SDK_THREADED for those that have it. Older headers build the effect without it.
#if defined(ZP_HOST_SDK_THREADED)
#if PF_PLUG_IN_VERSION * 100 + PF_PLUG_IN_SUBVERS < 1325
#error "ZP_HOST_SDK_THREADED is set for official headers older than effect API 13.25"
#endif
// The compute cache and hash suites have headers of their own.
#include <AE_ComputeCacheSuite.h>
#include <AE_HashSuite.h>
#define ZP_HOST_THREADED 1
#else
#define ZP_HOST_THREADED 0
#endif
#else
#include "host/AegpSuites.h"
#include "host/BasicSuite.h"
#include "host/BasicTypes.h"
#include "host/ComputeCacheSuites.h"
#include "host/EffectRecords.h"
#include "host/EffectSuites.h"
#include "host/PluginRegistration.h"
#include "host/UtilCallbacks.h"
#define ZP_HOST_THREADED 1
#endif
