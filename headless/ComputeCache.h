// The host's compute cache ("AEGP Compute Cache" 1) as the host documents it: values an effect
// computes once and shares between render threads, kept under the 128-bit key the effect's
// generate_key derives, owned by the cache until delete_compute_value. One cache belongs to one
// host and the render-side hosts that share it (one effect instance's renders); nothing in it is
// saved.
//
// No lock of the cache is held while it calls the effect's callbacks. A thread that waits for
// another thread's compute of the same key waits on a condition, and the computing thread takes
// the lock only to publish its result.
//
// What the documentation calls errors of the effect are answered as the host answers them and
// recorded as faults for tests to read: a receipt checked in twice or never handed out
// (A_Err_STRUCT), a receipt still checked out when the command that took it returns, a class
// registered twice or used without registration, a class unregistered with values checked out.
#pragma once

#include "host/HostApi.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace headless {

class ComputeCache {
public:
    ComputeCache() = default;
    // Deletes what is still cached through the effect's callbacks, as unregistering would.
    ~ComputeCache();
    ComputeCache(const ComputeCache&) = delete;
    ComputeCache& operator=(const ComputeCache&) = delete;

    // --- the suite's services; `holder` identifies who checks out (the calling thread's host)
    A_Err registerClass(AEGP_CCComputeClassIdP cls, const AEGP_ComputeCacheCallbacks* callbacks);
    A_Err unregisterClass(AEGP_CCComputeClassIdP cls);
    A_Err computeIfNeededAndCheckout(AEGP_CCComputeClassIdP cls,
                                     AEGP_CCComputeOptionsRefconP options, bool waitForOtherThread,
                                     AEGP_CCCheckoutReceiptP* receipt, const void* holder);
    A_Err checkoutCached(AEGP_CCComputeClassIdP cls, AEGP_CCComputeOptionsRefconP options,
                         AEGP_CCCheckoutReceiptP* receipt, const void* holder);
    A_Err receiptValue(AEGP_CCCheckoutReceiptP receipt, AEGP_CCComputeValueRefconP* value);
    A_Err checkin(AEGP_CCCheckoutReceiptP receipt);

    // --- purging: the host may drop any value that is not checked out at any moment ---------
    // When set, every value not checked out is purged after every checkin and every compute,
    // which is the most the host is allowed to purge.
    void setPurgeEagerly(bool eager);
    // Purges every value not checked out now; returns how many were deleted.
    int purgeNow();

    // --- what tests read --------------------------------------------------------------------
    // Computes started for a key of a class, over the cache's life.
    int64_t computes(const std::string& cls, const AEGP_GUID& key) const;
    int64_t computesTotal() const;
    int64_t deletes() const;
    int cachedValues() const; // computed values held, checked out or not
    int checkedOut() const;   // receipts handed out and not checked in
    bool isRegistered(const std::string& cls) const;
    std::vector<std::string> faults() const;
    void clearFaults();

    // Called by a host when a command returns: every receipt `holder` still holds is recorded
    // as a fault (the effect must check in before it returns). The receipts stay valid. Returns
    // how many there were.
    int noteReceiptsLeftBy(const void* holder, int command);

private:
    struct Key {
        std::string cls;
        uint64_t generation; // a class registered again is a new class
        std::array<A_long, 4> guid;
        bool operator<(const Key& o) const;
    };
    struct Entry {
        AEGP_ComputeCacheCallbacks callbacks{};
        bool ready = false; // false while one thread computes it
        std::thread::id computer;
        AEGP_CCComputeValueRefconP value = nullptr;
        size_t size = 0;
        int checkouts = 0;
    };
    struct Class {
        AEGP_ComputeCacheCallbacks callbacks{};
        uint64_t generation = 0;
    };
    struct Receipt {
        Key key;
        const void* holder;
    };
    struct Victim {
        void (*deleteValue)(AEGP_CCComputeValueRefconP);
        AEGP_CCComputeValueRefconP value;
    };

    A_Err checkout(AEGP_CCComputeClassIdP cls, AEGP_CCComputeOptionsRefconP options, bool compute,
                   bool wait, AEGP_CCCheckoutReceiptP* receipt, const void* holder);
    AEGP_CCCheckoutReceiptP handOut(const Key& key, Entry& e, const void* holder);
    bool isOrphan(const Key& key) const;
    // Takes out of the cache every ready value nobody holds (of one class generation, or all).
    std::vector<Victim> takeUnheld(const Key* only);
    Victim take(std::map<Key, Entry>::iterator it);
    void fault(std::string what);
    static void release(const std::vector<Victim>& victims);

    mutable std::mutex mutex_;
    std::condition_variable computed_;
    std::map<std::string, Class> classes_;
    std::map<Key, Entry> entries_;
    std::map<uint64_t, Receipt> receipts_;
    uint64_t nextReceipt_ = 0x5EC0000;
    uint64_t nextGeneration_ = 1;
    std::map<std::pair<std::string, std::array<A_long, 4>>, int64_t> computeCounts_;
    int64_t computesTotal_ = 0;
    int64_t deletes_ = 0;
    bool purgeEagerly_ = false;
    std::vector<std::string> faults_;
};

// The suite table served to the effect: every call reaches the compute cache of the calling
// thread's host.
const AEGP_ComputeCacheSuite1& computeCacheSuite();

} // namespace headless
