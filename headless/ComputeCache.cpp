#include "headless/ComputeCache.h"

#include "headless/HostTables.h"

#include <cstdlib>
#include <cstring>
#include <tuple>

namespace headless {

namespace {

std::array<A_long, 4> guidWords(const AEGP_GUID& g) {
    return {g.bytes[0], g.bytes[1], g.bytes[2], g.bytes[3]};
}

AEGP_CCCheckoutReceiptP receiptPointer(uint64_t id) {
    return reinterpret_cast<AEGP_CCCheckoutReceiptP>(static_cast<uintptr_t>(id));
}

} // namespace

bool ComputeCache::Key::operator<(const Key& o) const {
    return std::tie(cls, generation, guid) < std::tie(o.cls, o.generation, o.guid);
}

ComputeCache::~ComputeCache() {
    std::vector<Victim> victims;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end();) {
            auto next = std::next(it);
            if (it->second.ready)
                victims.push_back(take(it));
            it = next;
        }
    }
    release(victims);
}

void ComputeCache::fault(std::string what) {
    faults_.push_back(std::move(what));
}

void ComputeCache::release(const std::vector<Victim>& victims) {
    for (const Victim& v : victims) {
        if (v.deleteValue != nullptr)
            v.deleteValue(v.value);
    }
}

ComputeCache::Victim ComputeCache::take(std::map<Key, Entry>::iterator it) {
    Victim v{it->second.callbacks.delete_compute_value, it->second.value};
    entries_.erase(it);
    ++deletes_;
    return v;
}

std::vector<ComputeCache::Victim> ComputeCache::takeUnheld(const Key* only) {
    std::vector<Victim> victims;
    for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = std::next(it);
        const Entry& e = it->second;
        const bool inScope = only == nullptr || (it->first.cls == only->cls &&
                                                 it->first.generation == only->generation);
        if (inScope && e.ready && e.checkouts == 0)
            victims.push_back(take(it));
        it = next;
    }
    return victims;
}

bool ComputeCache::isOrphan(const Key& key) const {
    const auto it = classes_.find(key.cls);
    return it == classes_.end() || it->second.generation != key.generation;
}

A_Err ComputeCache::registerClass(AEGP_CCComputeClassIdP cls,
                                  const AEGP_ComputeCacheCallbacks* callbacks) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cls == nullptr || callbacks == nullptr || callbacks->generate_key == nullptr ||
        callbacks->compute == nullptr || callbacks->approx_size_value == nullptr ||
        callbacks->delete_compute_value == nullptr) {
        fault("class registered without a name or without all four callbacks");
        return A_Err_STRUCT;
    }
    if (classes_.count(cls) != 0) {
        fault(std::string("class registered twice: ") + cls);
        return A_Err_STRUCT;
    }
    classes_[cls] = Class{*callbacks, nextGeneration_++};
    return A_Err_NONE;
}

A_Err ComputeCache::unregisterClass(AEGP_CCComputeClassIdP cls) {
    std::vector<Victim> victims;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = cls == nullptr ? classes_.end() : classes_.find(cls);
        if (it == classes_.end()) {
            fault(std::string("unregistered a class that is not registered: ") +
                  (cls != nullptr ? cls : "(null)"));
            return A_Err_STRUCT;
        }
        const Key scope{it->first, it->second.generation, {}};
        classes_.erase(it);
        victims = takeUnheld(&scope);
        // Values still checked out or being computed go when their last holder lets go.
        for (const auto& [key, e] : entries_) {
            if (key.cls == scope.cls && key.generation == scope.generation && e.checkouts > 0)
                fault("class " + scope.cls + " unregistered with a value checked out");
        }
    }
    release(victims);
    return A_Err_NONE;
}

AEGP_CCCheckoutReceiptP ComputeCache::handOut(const Key& key, Entry& e, const void* holder) {
    ++e.checkouts;
    const uint64_t id = nextReceipt_++;
    receipts_.emplace(id, Receipt{key, holder});
    return receiptPointer(id);
}

A_Err ComputeCache::checkout(AEGP_CCComputeClassIdP cls, AEGP_CCComputeOptionsRefconP options,
                             bool compute, bool wait, AEGP_CCCheckoutReceiptP* receipt,
                             const void* holder) {
    if (receipt != nullptr)
        *receipt = nullptr;
    Class c;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = cls == nullptr ? classes_.end() : classes_.find(cls);
        if (receipt == nullptr || it == classes_.end()) {
            fault(std::string("checkout of an unregistered class or without a receipt: ") +
                  (cls != nullptr ? cls : "(null)"));
            return A_Err_STRUCT;
        }
        c = it->second;
    }
    AEGP_GUID guid{};
    const A_Err keyErr = c.callbacks.generate_key(options, &guid);
    if (keyErr != A_Err_NONE)
        return keyErr;
    const Key key{cls, c.generation, guidWords(guid)};

    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        auto it = entries_.find(key);
        if (it != entries_.end() && it->second.ready) {
            *receipt = handOut(key, it->second, holder);
            return A_Err_NONE;
        }
        if (it != entries_.end()) {
            // Another compute of this key is under way.
            if (it->second.computer == std::this_thread::get_id()) {
                fault("checkout of key of class " + key.cls + " from within its own compute");
                return A_Err_STRUCT;
            }
            if (!compute || !wait)
                return A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING;
            computed_.wait(lock);
            continue;
        }
        if (!compute)
            return A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING;
        break;
    }

    // This thread computes the key; others asking for it meanwhile wait or hear it is pending.
    Entry& claimed = entries_[key];
    claimed.callbacks = c.callbacks;
    claimed.computer = std::this_thread::get_id();
    ++computeCounts_[{key.cls, key.guid}];
    ++computesTotal_;
    lock.unlock();
    AEGP_CCComputeValueRefconP value = nullptr;
    const A_Err err = c.callbacks.compute(options, &value);
    const size_t size = err == A_Err_NONE ? c.callbacks.approx_size_value(value) : 0;
    lock.lock();

    std::vector<Victim> victims;
    auto it = entries_.find(key);
    if (err != A_Err_NONE) {
        entries_.erase(it);
        computed_.notify_all();
        return err;
    }
    Entry& e = it->second;
    e.ready = true;
    e.value = value;
    e.size = size;
    *receipt = handOut(key, e, holder);
    computed_.notify_all();
    if (purgeEagerly_)
        victims = takeUnheld(nullptr);
    lock.unlock();
    release(victims);
    return A_Err_NONE;
}

A_Err ComputeCache::computeIfNeededAndCheckout(AEGP_CCComputeClassIdP cls,
                                               AEGP_CCComputeOptionsRefconP options,
                                               bool waitForOtherThread,
                                               AEGP_CCCheckoutReceiptP* receipt,
                                               const void* holder) {
    return checkout(cls, options, true, waitForOtherThread, receipt, holder);
}

A_Err ComputeCache::checkoutCached(AEGP_CCComputeClassIdP cls, AEGP_CCComputeOptionsRefconP options,
                                   AEGP_CCCheckoutReceiptP* receipt, const void* holder) {
    return checkout(cls, options, false, false, receipt, holder);
}

A_Err ComputeCache::receiptValue(AEGP_CCCheckoutReceiptP receipt,
                                 AEGP_CCComputeValueRefconP* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = receipts_.find(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(receipt)));
    if (it == receipts_.end() || value == nullptr) {
        fault("value asked of a receipt that is not checked out");
        return A_Err_STRUCT;
    }
    *value = entries_.at(it->second.key).value;
    return A_Err_NONE;
}

A_Err ComputeCache::checkin(AEGP_CCCheckoutReceiptP receipt) {
    std::vector<Victim> victims;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = receipts_.find(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(receipt)));
        if (it == receipts_.end()) {
            fault("checkin of a receipt that is not checked out");
            return A_Err_STRUCT;
        }
        const Key key = it->second.key;
        receipts_.erase(it);
        const auto entry = entries_.find(key);
        if (--entry->second.checkouts == 0 && isOrphan(key))
            victims.push_back(take(entry));
        if (purgeEagerly_) {
            auto more = takeUnheld(nullptr);
            victims.insert(victims.end(), more.begin(), more.end());
        }
    }
    release(victims);
    return A_Err_NONE;
}

void ComputeCache::setPurgeEagerly(bool eager) {
    std::lock_guard<std::mutex> lock(mutex_);
    purgeEagerly_ = eager;
}

int ComputeCache::purgeNow() {
    std::vector<Victim> victims;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        victims = takeUnheld(nullptr);
    }
    release(victims);
    return static_cast<int>(victims.size());
}

int64_t ComputeCache::computes(const std::string& cls, const AEGP_GUID& key) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = computeCounts_.find({cls, guidWords(key)});
    return it == computeCounts_.end() ? 0 : it->second;
}

int64_t ComputeCache::computesTotal() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return computesTotal_;
}

int64_t ComputeCache::deletes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return deletes_;
}

int ComputeCache::cachedValues() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& [key, e] : entries_)
        n += e.ready ? 1 : 0;
    return n;
}

int ComputeCache::checkedOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(receipts_.size());
}

bool ComputeCache::isRegistered(const std::string& cls) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return classes_.count(cls) != 0;
}

std::vector<std::string> ComputeCache::faults() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

void ComputeCache::clearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

int ComputeCache::noteReceiptsLeftBy(const void* holder, int command) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& [id, r] : receipts_) {
        if (r.holder != holder)
            continue;
        ++n;
        fault("receipt of class " + r.key.cls + " still checked out when command " +
              std::to_string(command) + " returned");
    }
    return n;
}

// --- the suite ---------------------------------------------------------------------------------
namespace {

Host& callingHost() {
    Host* h = Host::current();
    if (h == nullptr)
        std::abort(); // a suite call outside any host: a test bug
    return *h;
}

A_Err ccRegister(AEGP_CCComputeClassIdP cls, const AEGP_ComputeCacheCallbacks* callbacks) {
    return callingHost().computeCache().registerClass(cls, callbacks);
}
A_Err ccUnregister(AEGP_CCComputeClassIdP cls) {
    return callingHost().computeCache().unregisterClass(cls);
}
A_Err ccComputeIfNeeded(AEGP_CCComputeClassIdP cls, AEGP_CCComputeOptionsRefconP options, bool wait,
                        AEGP_CCCheckoutReceiptP* receipt) {
    Host& h = callingHost();
    return h.computeCache().computeIfNeededAndCheckout(cls, options, wait, receipt, &h);
}
A_Err ccCheckoutCached(AEGP_CCComputeClassIdP cls, AEGP_CCComputeOptionsRefconP options,
                       AEGP_CCCheckoutReceiptP* receipt) {
    Host& h = callingHost();
    return h.computeCache().checkoutCached(cls, options, receipt, &h);
}
A_Err ccReceiptValue(AEGP_CCCheckoutReceiptP receipt, AEGP_CCComputeValueRefconP* value) {
    return callingHost().computeCache().receiptValue(receipt, value);
}
A_Err ccCheckin(AEGP_CCCheckoutReceiptP receipt) {
    return callingHost().computeCache().checkin(receipt);
}

AEGP_ComputeCacheSuite1 makeSuite() {
    auto t = trappedTable<kComputeCacheSuite, AEGP_ComputeCacheSuite1>();
    ZP_SERVE(kComputeCacheSuite, t, AEGP_ClassRegister, ccRegister);
    ZP_SERVE(kComputeCacheSuite, t, AEGP_ClassUnregister, ccUnregister);
    ZP_SERVE(kComputeCacheSuite, t, AEGP_ComputeIfNeededAndCheckout, ccComputeIfNeeded);
    ZP_SERVE(kComputeCacheSuite, t, AEGP_CheckoutCached, ccCheckoutCached);
    ZP_SERVE(kComputeCacheSuite, t, AEGP_GetReceiptComputeValue, ccReceiptValue);
    ZP_SERVE(kComputeCacheSuite, t, AEGP_CheckinComputeReceipt, ccCheckin);
    return t;
}

} // namespace

const AEGP_ComputeCacheSuite1& computeCacheSuite() {
    static const AEGP_ComputeCacheSuite1 suite = makeSuite();
    return suite;
}

} // namespace headless
