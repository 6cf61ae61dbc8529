// The one description of what the effect tells the host about itself. Global setup reports
// these values and the loader's property list is generated from them, so the two never drift.
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

constexpr uint32_t kPiplVersion = 2;
constexpr uint32_t kSpecVersion = 13;
constexpr uint16_t kInfoFlags = 0;
constexpr uint32_t kReservedInfo = 8;

} // namespace product
