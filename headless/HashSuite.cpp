#include "headless/HashSuite.h"

#include "headless/HostTables.h"

#include <cstring>

namespace headless {

namespace {

constexpr uint64_t kC1 = 0x87c37b91114253d5ULL;
constexpr uint64_t kC2 = 0x4cf5ad432745937fULL;

uint64_t rotl(uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

uint64_t fmix(uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
}

// Little-endian whatever the machine, so that keys agree across platforms.
uint64_t load64(const unsigned char* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v |= uint64_t{p[i]} << (8 * i);
    return v;
}

} // namespace

void hash128(const void* data, uint64_t size, bool mixIn, AEGP_GUID& hash) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint64_t h1 = 0, h2 = 0;
    if (mixIn) {
        h1 = uint64_t{static_cast<uint32_t>(hash.bytes[0])} |
             uint64_t{static_cast<uint32_t>(hash.bytes[1])} << 32;
        h2 = uint64_t{static_cast<uint32_t>(hash.bytes[2])} |
             uint64_t{static_cast<uint32_t>(hash.bytes[3])} << 32;
    }
    const uint64_t blocks = size / 16;
    for (uint64_t i = 0; i < blocks; ++i) {
        uint64_t k1 = load64(bytes + 16 * i, 8);
        uint64_t k2 = load64(bytes + 16 * i + 8, 8);
        k1 *= kC1;
        k1 = rotl(k1, 31);
        k1 *= kC2;
        h1 ^= k1;
        h1 = rotl(h1, 27);
        h1 += h2;
        h1 = h1 * 5 + 0x52dce729;
        k2 *= kC2;
        k2 = rotl(k2, 33);
        k2 *= kC1;
        h2 ^= k2;
        h2 = rotl(h2, 31);
        h2 += h1;
        h2 = h2 * 5 + 0x38495ab5;
    }
    const unsigned char* tail = bytes + 16 * blocks;
    const size_t rest = static_cast<size_t>(size % 16);
    if (rest > 8) {
        uint64_t k2 = load64(tail + 8, rest - 8);
        k2 *= kC2;
        k2 = rotl(k2, 33);
        k2 *= kC1;
        h2 ^= k2;
    }
    if (rest > 0) {
        uint64_t k1 = load64(tail, rest < 8 ? rest : 8);
        k1 *= kC1;
        k1 = rotl(k1, 31);
        k1 *= kC2;
        h1 ^= k1;
    }
    h1 ^= size;
    h2 ^= size;
    h1 += h2;
    h2 += h1;
    h1 = fmix(h1);
    h2 = fmix(h2);
    h1 += h2;
    h2 += h1;
    hash.bytes[0] = static_cast<A_long>(static_cast<uint32_t>(h1));
    hash.bytes[1] = static_cast<A_long>(static_cast<uint32_t>(h1 >> 32));
    hash.bytes[2] = static_cast<A_long>(static_cast<uint32_t>(h2));
    hash.bytes[3] = static_cast<A_long>(static_cast<uint32_t>(h2 >> 32));
}

namespace {

A_Err createHash(const A_u_longlong size, const void* data, AEGP_GUID* hash) {
    if (hash == nullptr || (data == nullptr && size != 0))
        return A_Err_STRUCT;
    hash128(data, size, false, *hash);
    return A_Err_NONE;
}

A_Err mixIn(const A_u_longlong size, const void* data, AEGP_GUID* hash) {
    if (hash == nullptr || (data == nullptr && size != 0))
        return A_Err_STRUCT;
    hash128(data, size, true, *hash);
    return A_Err_NONE;
}

AEGP_HashSuite1 makeSuite() {
    auto t = trappedTable<kHashSuite, AEGP_HashSuite1>();
    ZP_SERVE(kHashSuite, t, AEGP_CreateHashFromPtr, createHash);
    ZP_SERVE(kHashSuite, t, AEGP_HashMixInPtr, mixIn);
    return t;
}

} // namespace

const AEGP_HashSuite1& hashSuite() {
    static const AEGP_HashSuite1 suite = makeSuite();
    return suite;
}

} // namespace headless
