// A product description without its match name, for the generator's refusal test.
#pragma once

#include <cstdint>

namespace product {

constexpr const char* kDisplayName = "Zone Painter";
constexpr const char* kCategory = "Kavello";
constexpr const char* kEntryPoint = "PluginMain";
constexpr uint32_t kMyVersion = 0x00080600;
constexpr uint32_t kOutFlags = 0x06000051;
constexpr uint32_t kOutFlags2Threaded = 0x08801400;
constexpr uint32_t kOutFlags2Single = 0x00001400;
constexpr uint32_t kPiplVersion = 2;
constexpr uint32_t kSpecVersion = 13;
constexpr uint32_t kSpecSubversionThreaded = 29;
constexpr uint32_t kSpecSubversionSingle = 0;
constexpr uint16_t kInfoFlags = 0;
constexpr uint32_t kReservedInfo = 8;

} // namespace product
