// One template per pixel operation covers the three depths; these traits carry what differs.
// 16-bit channels have 32768 as full (the host's deep-colour convention), not 65535.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>

namespace fx {

template <typename T> struct PixelTraits;

template <> struct PixelTraits<uint8_t> {
    static constexpr bool isFloat = false;
    static constexpr int32_t fullInt = 255;
    static constexpr float full = 255.0f;
    static constexpr int32_t bytes = 1;
};

template <> struct PixelTraits<uint16_t> {
    static constexpr bool isFloat = false;
    static constexpr int32_t fullInt = 32768;
    static constexpr float full = 32768.0f;
    static constexpr int32_t bytes = 2;
};

template <> struct PixelTraits<float> {
    static constexpr bool isFloat = true;
    static constexpr int32_t fullInt = 1;
    static constexpr float full = 1.0f;
    static constexpr int32_t bytes = 4;
};

// 8-bit channel values as 0..1 floats: the same quotients as dividing by 255 each time,
// without a division per channel.
inline constexpr std::array<float, 256> kUnit8 = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[static_cast<size_t>(i)] = static_cast<float>(i) / 255.0f;
    return t;
}();

// A channel value on the 0..1 scale: 8-bit / 255, 16-bit / 32768, float as it is.
template <typename T> inline float toUnit(T v) {
    using Traits = PixelTraits<T>;
    if constexpr (Traits::isFloat) {
        return v;
    } else if constexpr (Traits::bytes == 1) {
        return kUnit8[v];
    } else {
        return static_cast<float>(v) / Traits::full;
    }
}

// A 0..1 value written back to a channel: integer depths give 0 below 0, full above 1, else
// trunc(v * full); float keeps v. Clamping the product rather than v gives the same result
// (the product of a v above 1 is at least full) and lets NaN land on 0 instead of reaching an
// undefined conversion.
template <typename T> inline T fromUnit(float v) {
    using Traits = PixelTraits<T>;
    if constexpr (Traits::isFloat) {
        return v;
    } else {
        // Operand order matters: std::max(0, NaN) is 0.
        const float c = std::min(Traits::full, std::max(0.0f, v * Traits::full));
        return static_cast<T>(static_cast<int32_t>(c));
    }
}

// Calls f.template operator()<T>() with the channel type that matches bytesPerChannel
// (1, 2 or 4); any other value does nothing and returns false.
template <typename F> bool dispatchDepth(int32_t bytesPerChannel, F&& f) {
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
