// The host's hash suite ("AEGP Hash Suite" 1): 128-bit hashes of byte buffers, from which an
// effect builds its compute cache keys.
//
// The hash is MurmurHash3's x64 128-bit construction. AEGP_CreateHashFromPtr is
// MurmurHash3_x64_128 of the buffer with seed 0; AEGP_HashMixInPtr runs the same construction
// over the new buffer with the two 64-bit lanes started from the hash it is given instead of
// from the seed, so a mixed-in hash depends on everything mixed in before and on the order. The
// result's lanes h1, h2 are stored as bytes[0] = low 32 bits of h1, bytes[1] = high 32 bits of
// h1, bytes[2], bytes[3] likewise of h2. Deterministic across runs, hosts and platforms.
#pragma once

#include "host/HostApi.h"

namespace headless {

// Hashes `size` bytes at `data` into `hash`; with `mixIn` the lanes start from `hash`.
void hash128(const void* data, uint64_t size, bool mixIn, AEGP_GUID& hash);

const AEGP_HashSuite1& hashSuite();

} // namespace headless
