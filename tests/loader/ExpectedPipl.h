// The loader's property list written out by hand, byte for byte, as the host reads it. Tests
// compare what the build generates (and, on Windows, what the resource section holds) with
// this table, so it must never be produced by the generator itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace expected {

// clang-format off
inline constexpr unsigned char kPipl[] = {
    // header: 16-bit format 1, 32-bit version 0, 32-bit count of properties 12
    0x01, 0x00,  0x00, 0x00, 0x00, 0x00,  0x0C, 0x00, 0x00, 0x00,
    // 1: vendor '8BIM', key 'kind', id 0, length 4, code 'eFKT'
    'M', 'I', 'B', '8',  'd', 'n', 'i', 'k',  0, 0, 0, 0,  4, 0, 0, 0,
    'T', 'K', 'F', 'e',
    // 2: 'name', length 16: Pascal "Zone Painter" (1 + 12 bytes) and 3 zeros
    'M', 'I', 'B', '8',  'e', 'm', 'a', 'n',  0, 0, 0, 0,  16, 0, 0, 0,
    12, 'Z', 'o', 'n', 'e', ' ', 'P', 'a', 'i', 'n', 't', 'e', 'r', 0, 0, 0,
    // 3: 'catg', length 8: Pascal "Kavello" (1 + 7 bytes)
    'M', 'I', 'B', '8',  'g', 't', 'a', 'c',  0, 0, 0, 0,  8, 0, 0, 0,
    7, 'K', 'a', 'v', 'e', 'l', 'l', 'o',
    // 4: '8664', length 12: "PluginMain" with its NUL and 1 zero
    'M', 'I', 'B', '8',  '4', '6', '6', '8',  0, 0, 0, 0,  12, 0, 0, 0,
    'P', 'l', 'u', 'g', 'i', 'n', 'M', 'a', 'i', 'n', 0, 0,
    // 5: 'ePVR' = 2
    'M', 'I', 'B', '8',  'R', 'V', 'P', 'e',  0, 0, 0, 0,  4, 0, 0, 0,  2, 0, 0, 0,
    // 6: 'eSVR' = 13.29: 16-bit 13, then 16-bit 29
    'M', 'I', 'B', '8',  'R', 'V', 'S', 'e',  0, 0, 0, 0,  4, 0, 0, 0,  13, 0, 29, 0,
    // 7: 'eVER' = 0x00080600
    'M', 'I', 'B', '8',  'R', 'E', 'V', 'e',  0, 0, 0, 0,  4, 0, 0, 0,  0x00, 0x06, 0x08, 0x00,
    // 8: 'eINF' = 16-bit 0, padded to 4
    'M', 'I', 'B', '8',  'F', 'N', 'I', 'e',  0, 0, 0, 0,  4, 0, 0, 0,  0, 0, 0, 0,
    // 9: 'eGLO' = 0x06000051
    'M', 'I', 'B', '8',  'O', 'L', 'G', 'e',  0, 0, 0, 0,  4, 0, 0, 0,  0x51, 0x00, 0x00, 0x06,
    // 10: 'eGL2' = 0x08801400
    'M', 'I', 'B', '8',  '2', 'L', 'G', 'e',  0, 0, 0, 0,  4, 0, 0, 0,  0x00, 0x14, 0x80, 0x08,
    // 11: 'eMNA', length 20: Pascal "KVL_ZONE_PAINTER" (1 + 16 bytes) and 3 zeros
    'M', 'I', 'B', '8',  'A', 'N', 'M', 'e',  0, 0, 0, 0,  20, 0, 0, 0,
    16, 'K', 'V', 'L', '_', 'Z', 'O', 'N', 'E', '_', 'P', 'A', 'I', 'N', 'T', 'E', 'R', 0, 0, 0,
    // 12: 'aeFL' = 8
    'M', 'I', 'B', '8',  'L', 'F', 'e', 'a',  0, 0, 0, 0,  4, 0, 0, 0,  8, 0, 0, 0,
};
// clang-format on

// Walks a property list and returns the 32-bit data word of the property with the given key
// (vendor '8BIM'), or nothing when the list is malformed or has no such property.
inline std::optional<uint32_t> piplWord(const unsigned char* bytes, std::size_t size,
                                        const char (&key)[5]) {
    auto u32 = [&](std::size_t at) {
        return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
               uint32_t{bytes[at + 3]} << 24;
    };
    if (size < 10)
        return std::nullopt;
    const uint32_t count = u32(6);
    std::size_t at = 10;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - at < 16)
            return std::nullopt;
        const uint32_t length = u32(at + 12);
        if (length % 4 != 0 || size - at - 16 < length)
            return std::nullopt;
        // Codes are stored byte-reversed.
        const bool vendor = bytes[at] == 'M' && bytes[at + 1] == 'I' && bytes[at + 2] == 'B' &&
                            bytes[at + 3] == '8';
        const bool match = bytes[at + 4] == key[3] && bytes[at + 5] == key[2] &&
                           bytes[at + 6] == key[1] && bytes[at + 7] == key[0];
        if (vendor && match && length >= 4)
            return u32(at + 16);
        at += 16 + length;
    }
    return std::nullopt;
}

} // namespace expected
