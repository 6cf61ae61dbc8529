// The one description of what the effect tells the host about itself. Global setup and the
// about box report these values, and the build generates the loader's property list from this
// very file (loader/GeneratePipl.cmake), so the two can never drift apart.
//
// The generator reads the values below, one per line, in the form
//     constexpr <type> <name> = <"text" or integer literal>;
// Keep that form: no escapes inside texts, no expressions in place of the literals. A value the
// generator cannot find, or finds twice, stops the build.
//
// Two values come in two forms: with multi-frame rendering (effect API 13.25 and up) and
// without it (a build against official headers older than that). The generator is told which
// one the build makes and reads only that form; the code picks the same form by
// ZP_HOST_THREADED at the end of this file, in lines the generator never reads.
#pragma once

#include "host/HostApi.h"

#include <cstdint>

namespace product {

constexpr const char* kDisplayName = "Zone Painter";
constexpr const char* kVersionText = "1.1";
constexpr const char* kCategory = "Kavello";
constexpr const char* kMatchName = "KVL_ZONE_PAINTER";
constexpr const char* kAegpName = "Zonepainter";
constexpr const char* kEntryPoint = "PluginMain";

// PF_VERSION(1, 0, 0, PF_Stage_RELEASE, 0)
constexpr uint32_t kMyVersion = 0x00080600;
// KEEP_RESOURCE_OPEN | SEQUENCE_DATA_NEEDS_FLATTENING | USE_OUTPUT_EXTENT | DEEP_COLOR_AWARE
// | SEND_UPDATE_PARAMS_UI
constexpr uint32_t kOutFlags = 0x06000051;
// SUPPORTS_SMART_RENDER | FLOAT_COLOR_AWARE | SUPPORTS_GET_FLATTENED_SEQUENCE_DATA
// | SUPPORTS_THREADED_RENDERING
constexpr uint32_t kOutFlags2Threaded = 0x08801400;
// SUPPORTS_SMART_RENDER | FLOAT_COLOR_AWARE: one render thread at a time.
constexpr uint32_t kOutFlags2Single = 0x00001400;

// Property-list format version, the effect API version the plug-in was written for (major,
// then minor: 13.29 with multi-frame rendering, 13.0 without), information flags (16 bits) and
// the reserved information word.
constexpr uint32_t kPiplVersion = 2;
constexpr uint32_t kSpecVersion = 13;
constexpr uint32_t kSpecSubversionThreaded = 29;
constexpr uint32_t kSpecSubversionSingle = 0;
constexpr uint16_t kInfoFlags = 0;
constexpr uint32_t kReservedInfo = 8;

// The host's version word: version in bits 19 and up, subversion 15..18, fix level 11..14,
// stage 9..10, build 0..8.
constexpr uint32_t versionWord(uint32_t version, uint32_t subversion, uint32_t fix, uint32_t stage,
                               uint32_t build) {
    return (version << 19) | (subversion << 15) | (fix << 11) | (stage << 9) | build;
}
static_assert(kMyVersion == versionWord(1, 0, 0, 3, 0), "version word is PF_VERSION(1,0,0,3,0)");

// What this build reports: global setup's out_flags2, and the effect API version of the
// property list and of the registration entry.
inline constexpr bool kThreaded = ZP_HOST_THREADED != 0;
inline constexpr uint32_t kReportedOutFlags2 = kThreaded ? kOutFlags2Threaded : kOutFlags2Single;
inline constexpr uint32_t kReportedSpecSubversion =
    kThreaded ? kSpecSubversionThreaded : kSpecSubversionSingle;
// The host renders on several threads only with both flags; a threaded build without
// get-flattened is refused outright.
static_assert((kOutFlags2Threaded & 0x08800000u) == 0x08800000u);
static_assert((kOutFlags2Single & 0x08800000u) == 0 &&
              (kOutFlags2Threaded & ~0x08800000u) == kOutFlags2Single);

} // namespace product
