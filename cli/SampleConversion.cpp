#include "cli/SampleConversion.h"

#include "image/PixelTraits.h"

#include <cmath>
#include <cstddef>
#include <type_traits>

namespace zpcli {

namespace {

// A file sample as a fraction of full: 8-bit /255, 16-bit /65535, float as is.
template <typename S> float unitOf(S v) {
    if constexpr (std::is_same_v<S, uint8_t>)
        return static_cast<float>(v) / 255.0f;
    else if constexpr (std::is_same_v<S, uint16_t>)
        return static_cast<float>(v) / 65535.0f;
    else
        return v;
}

// A fraction of full as an integer sample with `full` as its top, rounded to nearest; NaN and
// values below 0 give 0, values above 1 give full.
template <typename U> U roundedFrom(float x, float full) {
    if (!(x > 0.0f))
        return 0;
    if (x >= 1.0f)
        return static_cast<U>(full);
    return static_cast<U>(std::floor(x * full + 0.5f));
}

// File sample S to world sample T.
template <typename S, typename T> T toWorld(S v) {
    if constexpr (std::is_same_v<S, T> && !std::is_same_v<T, uint16_t>) {
        return v;
    } else if constexpr (std::is_same_v<S, uint16_t> && std::is_same_v<T, uint16_t>) {
        return fileToHost16(v);
    } else if constexpr (fx::PixelTraits<T>::isFloat) {
        return unitOf(v);
    } else {
        return roundedFrom<T>(unitOf(v), fx::PixelTraits<T>::full);
    }
}

// World sample T to file sample U.
template <typename T, typename U> U toFile(T v) {
    if constexpr (std::is_same_v<T, U> && !std::is_same_v<T, uint16_t>) {
        return v;
    } else if constexpr (std::is_same_v<T, uint16_t> && std::is_same_v<U, uint16_t>) {
        return hostToFile16(v);
    } else {
        const float unit = static_cast<float>(v) / fx::PixelTraits<T>::full;
        if constexpr (std::is_same_v<U, float>)
            return unit;
        else if constexpr (std::is_same_v<U, uint8_t>)
            return roundedFrom<U>(unit, 255.0f);
        else
            return roundedFrom<U>(unit, 65535.0f);
    }
}

size_t rowStart(int y, int width, int channels) {
    return static_cast<size_t>(y) * static_cast<size_t>(width) * static_cast<size_t>(channels);
}

template <typename S, typename T>
void fillWorld(const S* samples, int channels, headless::HostWorld& world) {
    const int w = world.width();
    const int h = world.height();
    const T full = static_cast<T>(fx::PixelTraits<T>::full);
    const bool grey = channels <= 2;
    const bool alpha = channels == 2 || channels == 4;
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        const S* src = samples + rowStart(y, w, channels);
        T* dst = world.pixel<T>(0, y);
        for (int x = 0; x < w; ++x, src += channels, dst += 4) {
            dst[0] = alpha ? toWorld<S, T>(src[channels - 1]) : full;
            dst[1] = toWorld<S, T>(src[0]);
            dst[2] = toWorld<S, T>(src[grey ? 0 : 1]);
            dst[3] = toWorld<S, T>(src[grey ? 0 : 2]);
        }
    }
}

template <typename T, typename U>
void fillSamples(const headless::HostWorld& world, int channels, U* samples) {
    const int w = world.width();
    const int h = world.height();
#pragma omp parallel for schedule(static)
    for (int y = 0; y < h; ++y) {
        U* dst = samples + rowStart(y, w, channels);
        const T* src = reinterpret_cast<const T*>(world.row(y));
        for (int x = 0; x < w; ++x, dst += channels, src += 4) {
            dst[0] = toFile<T, U>(src[1]);
            dst[1] = toFile<T, U>(src[2]);
            dst[2] = toFile<T, U>(src[3]);
            if (channels == 4)
                dst[3] = toFile<T, U>(src[0]);
        }
    }
}

} // namespace

template <typename S>
void samplesToWorld(const S* samples, int channels, headless::HostWorld& world) {
    fx::dispatchDepth(world.bytesPerChannel(),
                      [&]<typename T>() { fillWorld<S, T>(samples, channels, world); });
}

template <typename U>
void worldToSamples(const headless::HostWorld& world, int channels, U* samples) {
    fx::dispatchDepth(world.bytesPerChannel(),
                      [&]<typename T>() { fillSamples<T, U>(world, channels, samples); });
}

template void samplesToWorld<uint8_t>(const uint8_t*, int, headless::HostWorld&);
template void samplesToWorld<uint16_t>(const uint16_t*, int, headless::HostWorld&);
template void samplesToWorld<float>(const float*, int, headless::HostWorld&);
template void worldToSamples<uint8_t>(const headless::HostWorld&, int, uint8_t*);
template void worldToSamples<uint16_t>(const headless::HostWorld&, int, uint16_t*);
template void worldToSamples<float>(const headless::HostWorld&, int, float*);

} // namespace zpcli
