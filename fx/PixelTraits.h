// One template per pixel operation covers the three depths; these traits carry what differs.
// 16-bit channels have 32768 as full (the host's deep-colour convention), not 65535.
#pragma once

#include <cstdint>
#include <type_traits>

namespace fx {

template <typename T>
struct PixelTraits;

template <>
struct PixelTraits<uint8_t> {
    static constexpr bool isFloat = false;
    static constexpr int32_t fullInt = 255;
    static constexpr float full = 255.0f;
    static constexpr int32_t bytes = 1;
};

template <>
struct PixelTraits<uint16_t> {
    static constexpr bool isFloat = false;
    static constexpr int32_t fullInt = 32768;
    static constexpr float full = 32768.0f;
    static constexpr int32_t bytes = 2;
};

template <>
struct PixelTraits<float> {
    static constexpr bool isFloat = true;
    static constexpr int32_t fullInt = 1;
    static constexpr float full = 1.0f;
    static constexpr int32_t bytes = 4;
};

// Calls f.template operator()<T>() with the channel type that matches bytesPerChannel
// (1, 2 or 4); any other value does nothing and returns false.
template <typename F>
bool dispatchDepth(int32_t bytesPerChannel, F&& f) {
    switch (bytesPerChannel) {
    case 1:
        f.template operator()<uint8_t>();
        return true;
    case 2:
        f.template operator()<uint16_t>();
        return true;
    case 4:
        f.template operator()<float>();
        return true;
    default:
        return false;
    }
}

} // namespace fx
