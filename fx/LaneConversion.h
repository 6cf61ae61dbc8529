// Sixteen channel values to and from the blur filter's working floats. 8/16-bit values become
// value / full (a single-precision division; full is 255 or 32768) and come back as full above
// 1.0, 0 at or below 0 (or NaN), else value * full truncated toward zero. Float values pass
// through unscaled and unclamped. On x86-64 the conversion uses SSE2 (part of the baseline
// instruction set); elsewhere it falls back to the same arithmetic one lane at a time.
#pragma once

#include "fx/BlurLines.h"
#include "image/PixelTraits.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fx {

template <typename T> inline float toWorking(T v) {
    if constexpr (PixelTraits<T>::isFloat) {
        return v;
    } else {
        return static_cast<float>(v) / PixelTraits<T>::full;
    }
}

template <typename T> inline T fromWorking(float x) {
    if constexpr (PixelTraits<T>::isFloat) {
        return x;
    } else {
        if (x > 1.0f) {
            return static_cast<T>(PixelTraits<T>::fullInt);
        }
        if (!(x > 0.0f)) {
            return 0;
        }
        return static_cast<T>(static_cast<int32_t>(x * PixelTraits<T>::full));
    }
}

// src: 16 values (need not be aligned).
template <typename T> inline void loadLanes16(const T* src, Lanes16* out) {
    if constexpr (PixelTraits<T>::isFloat) {
        std::memcpy(out, src, sizeof(Lanes16));
    } else {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i words[2];
        if constexpr (sizeof(T) == 1) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            words[0] = _mm_unpacklo_epi8(bytes, zero);
            words[1] = _mm_unpackhi_epi8(bytes, zero);
        } else {
            words[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            words[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
        }
        const __m128 full = _mm_set1_ps(PixelTraits<T>::full);
        auto* q = reinterpret_cast<__m128*>(out);
        for (int32_t i = 0; i < 2; ++i) {
            const __m128i lo = _mm_unpacklo_epi16(words[i], zero);
            const __m128i hi = _mm_unpackhi_epi16(words[i], zero);
            q[2 * i] = _mm_div_ps(_mm_cvtepi32_ps(lo), full);
            q[2 * i + 1] = _mm_div_ps(_mm_cvtepi32_ps(hi), full);
        }
#else
        for (int32_t i = 0; i < 16; ++i)
            (*out)[i] = toWorking(src[i]);
#endif
    }
}

// Sixteen values gathered from four runs of four (four pixels of four channels), run j
// starting at src + j * stride bytes. Assembled in registers: writing the pieces to memory and
// reading them back as one vector would stall on store forwarding.
template <typename T>
inline void gatherLanes16(const uint8_t* src, ptrdiff_t stride, Lanes16* out) {
#if defined(__SSE2__)
    if constexpr (PixelTraits<T>::isFloat) {
        auto* q = reinterpret_cast<__m128*>(out);
        for (int32_t j = 0; j < 4; ++j) {
            q[j] = _mm_loadu_ps(reinterpret_cast<const float*>(src + j * stride));
        }
    } else if constexpr (sizeof(T) == 1) {
        auto piece = [&](int32_t j) {
            int32_t v;
            std::memcpy(&v, src + j * stride, 4);
            return _mm_cvtsi32_si128(v);
        };
        const __m128i lo = _mm_unpacklo_epi32(piece(0), piece(1));
        const __m128i hi = _mm_unpacklo_epi32(piece(2), piece(3));
        alignas(16) T raw[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(raw), _mm_unpacklo_epi64(lo, hi));
        loadLanes16(raw, out);
    } else {
        auto piece = [&](int32_t j) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + j * stride));
        };
        alignas(16) T raw[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(raw), _mm_unpacklo_epi64(piece(0), piece(1)));
        _mm_store_si128(reinterpret_cast<__m128i*>(raw + 8),
                        _mm_unpacklo_epi64(piece(2), piece(3)));
        loadLanes16(raw, out);
    }
#else
    for (int32_t j = 0; j < 4; ++j) {
        const T* px = reinterpret_cast<const T*>(src + j * stride);
        for (int32_t c = 0; c < 4; ++c)
            (*out)[j * 4 + c] = toWorking(px[c]);
    }
#endif
}

// dst: 16 values (need not be aligned).
template <typename T> inline void storeLanes16(const Lanes16& x, T* dst) {
    if constexpr (PixelTraits<T>::isFloat) {
        std::memcpy(dst, &x, sizeof(Lanes16));
    } else {
#if defined(__SSE2__)
        const auto* q = reinterpret_cast<const __m128*>(&x);
        const __m128 one = _mm_set1_ps(1.0f);
        const __m128 zero = _mm_setzero_ps();
        const __m128 full = _mm_set1_ps(PixelTraits<T>::full);
        // 16-bit values reach 32768, one past the signed range the packing saturates to:
        // pack them shifted down by 32768 and flip the top bit back afterwards.
        constexpr int32_t kBias = sizeof(T) == 2 ? 32768 : 0;
        const __m128i fullInt = _mm_set1_epi32(PixelTraits<T>::fullInt - kBias);
        const __m128i bias = _mm_set1_epi32(kBias);
        const __m128i zeroValue = _mm_sub_epi32(_mm_setzero_si128(), bias);
        __m128i ints[4];
        for (int32_t i = 0; i < 4; ++i) {
            const __m128i over = _mm_castps_si128(_mm_cmpgt_ps(q[i], one));
            const __m128i positive = _mm_castps_si128(_mm_cmpgt_ps(q[i], zero));
            const __m128i v = _mm_sub_epi32(_mm_cvttps_epi32(_mm_mul_ps(q[i], full)), bias);
            const __m128i chosen =
                _mm_or_si128(_mm_and_si128(over, fullInt), _mm_andnot_si128(over, v));
            ints[i] = _mm_or_si128(_mm_and_si128(positive, chosen),
                                   _mm_andnot_si128(positive, zeroValue));
        }
        const __m128i lo = _mm_packs_epi32(ints[0], ints[1]);
        const __m128i hi = _mm_packs_epi32(ints[2], ints[3]);
        if constexpr (sizeof(T) == 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(lo, hi));
        } else {
            const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_xor_si128(lo, flip));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_xor_si128(hi, flip));
        }
#else
        for (int32_t i = 0; i < 16; ++i)
            dst[i] = fromWorking<T>(x[i]);
#endif
    }
}

} // namespace fx
