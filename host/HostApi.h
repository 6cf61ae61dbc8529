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
// The compute cache and hash suites have headers of their own.
#include <AE_ComputeCacheSuite.h>
#include <AE_HashSuite.h>
#else
#include "host/AegpSuites.h"
#include "host/BasicSuite.h"
#include "host/BasicTypes.h"
#include "host/ComputeCacheSuites.h"
#include "host/EffectRecords.h"
#include "host/EffectSuites.h"
#include "host/PluginRegistration.h"
#include "host/UtilCallbacks.h"
#endif
