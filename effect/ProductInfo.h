// The one description of what the effect tells the host about itself. Global setup and the
// about box report these values, and the build generates the loader's property list from this
// very file (loader/GeneratePipl.cmake), so the two can never drift apart.
//
// The generator reads the values below, one per line, in the form
//     constexpr <type> <name> = <"text" or integer literal>;
// Keep that form: no escapes inside texts, no expressions in place of the literals. A value the
// generator cannot find, or finds twice, stops the build.
#pragma once

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
// SUPPORTS_SMART_RENDER | FLOAT_COLOR_AWARE
constexpr uint32_t kOutFlags2 = 0x00001400;

// Property-list format version, the effect API version the plug-in was written for,
// information flags (16 bits) and the reserved information word.
constexpr uint32_t kPiplVersion = 2;
constexpr uint32_t kSpecVersion = 13;
constexpr uint16_t kInfoFlags = 0;
constexpr uint32_t kReservedInfo = 8;

// The host's version word: version in bits 19 and up, subversion 15..18, fix level 11..14,
// stage 9..10, build 0..8.
constexpr uint32_t versionWord(uint32_t version, uint32_t subversion, uint32_t fix, uint32_t stage,
                               uint32_t build) {
    return (version << 19) | (subversion << 15) | (fix << 11) | (stage << 9) | build;
}
static_assert(kMyVersion == versionWord(1, 0, 0, 3, 0), "version word is PF_VERSION(1,0,0,3,0)");

} // namespace product
