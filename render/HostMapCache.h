// Kept label maps in the host's compute cache ("AEGP Compute Cache" 1), shared by all the
// host's render threads; keys from the host's hash suite when it offers one. The class is
// registered at global setup and unregistered at global setdown (which deletes every value).
// The host calls the class's callbacks without in_data: the options record carries the inputs
// (valid during the call) and the computation; a value owns deep heap copies of its inputs and
// cells, so the host may delete it on any thread at any time, after every sequence is gone.
#pragma once

#include "host/HostApi.h"
#include "render/MapCache.h"

#include <memory>

#if !ZP_HOST_THREADED
// Official headers older than effect API 13.25 declare neither suite; such a build never
// acquires them (forFrame() is always null there).
struct AEGP_ComputeCacheSuite1;
struct AEGP_HashSuite1;
#endif

class HostMapCache final : public MapCache {
public:
    static constexpr const char* kClassName = "zonepainter.kept_label_map.v1";

    // The frame's view of the host's cache: null when the host offers no compute cache or the
    // class is not registered with it (the frame then uses the library's own store). The suites
    // are held until it goes.
    static std::unique_ptr<HostMapCache> forFrame(SPBasicSuite* basic);
    ~HostMapCache() override;
    HostMapCache(const HostMapCache&) = delete;
    HostMapCache& operator=(const HostMapCache&) = delete;

    // Global setup and setdown. A host without the suite is no error: registered() then stays
    // false and frames keep their maps in the library's store.
    static void registerClass(SPBasicSuite* basic) noexcept;
    static void unregisterClass(SPBasicSuite* basic) noexcept;
    static bool registered();

    Checkout checkout(const PropagationInputs& inputs, const ComputeMap& compute) override;
    void checkin(void* receipt) noexcept override;

private:
    HostMapCache(SPBasicSuite* basic, const AEGP_ComputeCacheSuite1* cache,
                 const AEGP_HashSuite1* hash);
    SPBasicSuite* basic_;
    const AEGP_ComputeCacheSuite1* cache_;
    const AEGP_HashSuite1* hash_; // may be null
};
