#include "render/HostMapCache.h"

#include "render/SuiteTraits.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <new>

#if ZP_HOST_THREADED
namespace {

// Hosts the class is registered with; frames consult the host only while one is.
std::atomic<int> g_registrations{0};

template <class Suite> const Suite* acquire(SPBasicSuite* basic) {
    const void* suite = nullptr;
    if (basic == nullptr || basic->AcquireSuite == nullptr ||
        basic->AcquireSuite(SuiteTraits<Suite>::name, SuiteTraits<Suite>::version, &suite) != 0)
        return nullptr;
    return static_cast<const Suite*>(suite);
}

template <class Suite> void release(SPBasicSuite* basic, const Suite* suite) {
    if (suite != nullptr)
        basic->ReleaseSuite(SuiteTraits<Suite>::name, SuiteTraits<Suite>::version);
}

// Everything the callbacks read: the host gives them nothing else.
struct Options {
    const PropagationInputs* inputs;
    const ComputeMap* compute;
    const AEGP_HashSuite1* hash;
    std::exception_ptr failure; // what the computation threw, for the frame to rethrow
};

A_Err generateKey(AEGP_CCComputeOptionsRefconP optionsP, AEGP_CCComputeKeyP keyP) {
    try {
        const auto& o = *static_cast<const Options*>(optionsP);
        const PropagationInputs& in = *o.inputs;
        PropagationKey key;
        if (const PropagationHasher h = propagationHasherOverride(); h != nullptr) {
            key = h(in);
        } else if (o.hash == nullptr) {
            key = ownPropagationKey(in);
        } else {
            const int32_t head[5] = {static_cast<int32_t>(kPropagationAlgorithmVersion),
                                     in.mapWidth, in.mapHeight, in.rasterWidth, in.rasterHeight};
            AEGP_GUID g{};
            A_Err err = o.hash->AEGP_CreateHashFromPtr(sizeof head, head, &g);
            if (err == A_Err_NONE)
                err = o.hash->AEGP_HashMixInPtr(static_cast<A_u_longlong>(in.rasterBytes()),
                                                in.raster, &g);
            if (err == A_Err_NONE)
                err = o.hash->AEGP_HashMixInPtr(static_cast<A_u_longlong>(in.intensityBytes()),
                                                in.intensity, &g);
            if (err != A_Err_NONE)
                return err;
            std::memcpy(keyP, &g, sizeof g);
            return A_Err_NONE;
        }
        static_assert(sizeof(AEGP_GUID) == sizeof key.words);
        std::memcpy(keyP, key.words.data(), sizeof key.words);
        return A_Err_NONE;
    } catch (...) {
        return A_Err_STRUCT;
    }
}

A_Err computeValue(AEGP_CCComputeOptionsRefconP optionsP, AEGP_CCComputeValueRefconP* valuePP) {
    auto& o = *static_cast<Options*>(optionsP);
    *valuePP = nullptr;
    try {
        std::unique_ptr<KeptMap> value = KeptMap::make(*o.inputs);
        if (value == nullptr)
            return A_Err_STRUCT; // no memory: the frame propagates for itself
        (*o.compute)(value->cells());
        *valuePP = value.release();
        return A_Err_NONE;
    } catch (...) {
        o.failure = std::current_exception();
        return A_Err_STRUCT;
    }
}

size_t approxSize(AEGP_CCComputeValueRefconP valueP) {
    return valueP == nullptr ? 0
                             : static_cast<size_t>(static_cast<const KeptMap*>(valueP)->bytes()) +
                                   sizeof(KeptMap);
}

void deleteValue(AEGP_CCComputeValueRefconP valueP) {
    delete static_cast<KeptMap*>(valueP);
}

constexpr AEGP_ComputeCacheCallbacks kCallbacks{generateKey, computeValue, approxSize, deleteValue};

} // namespace

HostMapCache::HostMapCache(SPBasicSuite* basic, const AEGP_ComputeCacheSuite1* cache,
                           const AEGP_HashSuite1* hash)
    : basic_(basic), cache_(cache), hash_(hash) {}

HostMapCache::~HostMapCache() {
    release(basic_, hash_);
    release(basic_, cache_);
}

std::unique_ptr<HostMapCache> HostMapCache::forFrame(SPBasicSuite* basic) {
    if (!registered())
        return nullptr;
    const auto* cache = acquire<AEGP_ComputeCacheSuite1>(basic);
    if (cache == nullptr)
        return nullptr;
    const auto* hash = acquire<AEGP_HashSuite1>(basic);
    std::unique_ptr<HostMapCache> c(new (std::nothrow) HostMapCache(basic, cache, hash));
    if (c == nullptr) {
        release(basic, hash);
        release(basic, cache);
    }
    return c;
}

void HostMapCache::registerClass(SPBasicSuite* basic) noexcept {
    const auto* cache = acquire<AEGP_ComputeCacheSuite1>(basic);
    if (cache == nullptr)
        return;
    if (cache->AEGP_ClassRegister(kClassName, &kCallbacks) == A_Err_NONE)
        ++g_registrations;
    release(basic, cache);
}

void HostMapCache::unregisterClass(SPBasicSuite* basic) noexcept {
    const auto* cache = acquire<AEGP_ComputeCacheSuite1>(basic);
    if (cache == nullptr)
        return;
    if (g_registrations.load() > 0 && cache->AEGP_ClassUnregister(kClassName) == A_Err_NONE)
        --g_registrations;
    release(basic, cache);
}

bool HostMapCache::registered() {
    return g_registrations.load() > 0;
}

MapCache::Checkout HostMapCache::checkout(const PropagationInputs& inputs,
                                          const ComputeMap& compute) {
    if (!inputs.complete())
        return {};
    Options options{&inputs, &compute, hash_, nullptr};
    AEGP_CCCheckoutReceiptP receipt = nullptr;
    // Wait for another thread making the same map rather than make it twice.
    const A_Err err = cache_->AEGP_ComputeIfNeededAndCheckout(kClassName, &options, true, &receipt);
    if (err != A_Err_NONE || receipt == nullptr) {
        if (receipt != nullptr)
            cache_->AEGP_CheckinComputeReceipt(receipt);
        if (options.failure)
            std::rethrow_exception(options.failure);
        return {};
    }
    AEGP_CCComputeValueRefconP value = nullptr;
    if (cache_->AEGP_GetReceiptComputeValue(receipt, &value) != A_Err_NONE || value == nullptr) {
        cache_->AEGP_CheckinComputeReceipt(receipt);
        return {};
    }
    return {static_cast<const KeptMap*>(value), receipt};
}

void HostMapCache::checkin(void* receipt) noexcept {
    if (receipt != nullptr)
        cache_->AEGP_CheckinComputeReceipt(receipt);
}

#else
// Headers older than effect API 13.25: no compute cache to register with, so every frame keeps
// its maps in the library's own store.
HostMapCache::HostMapCache(SPBasicSuite* basic, const AEGP_ComputeCacheSuite1* cache,
                           const AEGP_HashSuite1* hash)
    : basic_(basic), cache_(cache), hash_(hash) {}

HostMapCache::~HostMapCache() = default;

std::unique_ptr<HostMapCache> HostMapCache::forFrame(SPBasicSuite*) {
    return nullptr;
}

void HostMapCache::registerClass(SPBasicSuite*) noexcept {}

void HostMapCache::unregisterClass(SPBasicSuite*) noexcept {}

bool HostMapCache::registered() {
    return false;
}

MapCache::Checkout HostMapCache::checkout(const PropagationInputs&, const ComputeMap&) {
    return {};
}

void HostMapCache::checkin(void*) noexcept {}
#endif
