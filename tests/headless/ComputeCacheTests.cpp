// The host's compute cache and hash suite, driven through the suite tables as an effect would,
// by a small client whose values record their own deletion.
#include "headless/ComputeCache.h"
#include "headless/HashSuite.h"
#include "headless/Host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr const char* kClass = "test.headless.cache_v1";

// A gate the client's compute can be held at, opened by the test.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = true;
    int inside = 0;
    void pass() {
        std::unique_lock<std::mutex> lock(m);
        ++inside;
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
    }
    void waitUntilInside(int n) {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return inside >= n; });
    }
    void setOpen(bool o) {
        std::lock_guard<std::mutex> lock(m);
        open = o;
        cv.notify_all();
    }
};

// The client's state, process-wide since the callbacks get nothing but the options.
struct Client {
    Gate gate;
    std::atomic<int> keysMade{0};
    std::mutex m;
    std::condition_variable cv;
    std::set<int> deleted; // keys of deleted values
    void reset() {
        keysMade = 0;
        gate.setOpen(true);
        gate.inside = 0;
        std::lock_guard<std::mutex> lock(m);
        deleted.clear();
    }
    void waitForKeys(int n) {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return keysMade >= n; });
    }
};
Client g_client;

struct Options {
    int key;
};
struct Value {
    int key;
};

A_Err generateKey(AEGP_CCComputeOptionsRefconP options, AEGP_CCComputeKeyP key) {
    std::memset(key, 0, sizeof *key);
    key->bytes[0] = static_cast<Options*>(options)->key;
    {
        std::lock_guard<std::mutex> lock(g_client.m);
        ++g_client.keysMade;
    }
    g_client.cv.notify_all();
    return A_Err_NONE;
}
A_Err compute(AEGP_CCComputeOptionsRefconP options, AEGP_CCComputeValueRefconP* value) {
    g_client.gate.pass();
    *value = new Value{static_cast<Options*>(options)->key};
    return A_Err_NONE;
}
size_t approxSize(AEGP_CCComputeValueRefconP) {
    return sizeof(Value);
}
void deleteValue(AEGP_CCComputeValueRefconP value) {
    auto* v = static_cast<Value*>(value);
    std::lock_guard<std::mutex> lock(g_client.m);
    g_client.deleted.insert(v->key);
    delete v;
}
const AEGP_ComputeCacheCallbacks kCallbacks{generateKey, compute, approxSize, deleteValue};

AEGP_GUID keyOf(int key) {
    AEGP_GUID g{};
    g.bytes[0] = key;
    return g;
}

// A host with the suite acquired, the client's class registered, as after global setup.
struct CacheSession {
    CacheSession() {
        g_client.reset();
        const void* table = nullptr;
        EXPECT_EQ(host.acquireSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1, &table),
                  A_Err_NONE);
        suite = static_cast<const AEGP_ComputeCacheSuite1*>(table);
        EXPECT_EQ(suite->AEGP_ClassRegister(kClass, &kCallbacks), A_Err_NONE);
    }
    ~CacheSession() {
        if (cache().isRegistered(kClass)) {
            EXPECT_EQ(suite->AEGP_ClassUnregister(kClass), A_Err_NONE);
        }
        host.releaseSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
    }
    headless::ComputeCache& cache() { return host.computeCache(); }
    A_Err checkout(int key, bool wait, AEGP_CCCheckoutReceiptP* receipt) {
        Options o{key};
        return suite->AEGP_ComputeIfNeededAndCheckout(kClass, &o, wait, receipt);
    }
    int valueKey(AEGP_CCCheckoutReceiptP receipt) {
        AEGP_CCComputeValueRefconP v = nullptr;
        EXPECT_EQ(suite->AEGP_GetReceiptComputeValue(receipt, &v), A_Err_NONE);
        return v == nullptr ? -1 : static_cast<Value*>(v)->key;
    }

    headless::Host host{nullptr};
    const AEGP_ComputeCacheSuite1* suite = nullptr;
};

// A thread of the same instance's renders: its own host, the instance's cache.
struct RenderThreadHost {
    explicit RenderThreadHost(headless::Host& ui) { host.renderFor(ui, nullptr); }
    headless::Host host{nullptr};
};

TEST(ComputeCache, ThreadsAskingForOneKeyAndWaitingShareOneCompute) {
    CacheSession s;
    constexpr int kThreads = 6;
    g_client.gate.setOpen(false);
    std::vector<int> seen(kThreads, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            RenderThreadHost r(s.host);
            AEGP_CCCheckoutReceiptP receipt = nullptr;
            ASSERT_EQ(s.checkout(7, true, &receipt), A_Err_NONE);
            seen[t] = s.valueKey(receipt);
            EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
        });
    }
    // Every thread has made its key while the first compute is held: all of them overlap it.
    g_client.waitForKeys(kThreads);
    g_client.gate.waitUntilInside(1);
    g_client.gate.setOpen(true);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(s.cache().computes(kClass, keyOf(7)), 1);
    EXPECT_EQ(seen, std::vector<int>(kThreads, 7));
    EXPECT_EQ(s.cache().checkedOut(), 0);
    EXPECT_TRUE(s.cache().faults().empty());
}

TEST(ComputeCache, WithoutWaitingAKeyBeingComputedIsPendingAndOthersAreComputed) {
    CacheSession s;
    g_client.gate.setOpen(false);
    std::thread computing([&] {
        RenderThreadHost r(s.host);
        AEGP_CCCheckoutReceiptP receipt = nullptr;
        EXPECT_EQ(s.checkout(1, false, &receipt), A_Err_NONE);
        EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
    });
    g_client.gate.waitUntilInside(1);
    // The gate opens at the second compute: the one of key 2 below, or one of key 1 that a
    // cache which does not see the pending compute would start (and then not report pending).
    std::thread opener([&] {
        g_client.gate.waitUntilInside(2);
        g_client.gate.setOpen(true);
    });

    AEGP_CCCheckoutReceiptP receipt = nullptr;
    EXPECT_EQ(s.checkout(1, false, &receipt), A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING);
    EXPECT_EQ(receipt, nullptr);
    Options one{1};
    EXPECT_EQ(s.suite->AEGP_CheckoutCached(kClass, &one, &receipt),
              A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING);
    // Nobody computes key 2: asking without waiting computes it on this thread.
    EXPECT_EQ(s.checkout(2, false, &receipt), A_Err_NONE);
    opener.join();
    EXPECT_EQ(s.valueKey(receipt), 2);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
    computing.join();

    // Now cached: no second compute, and a checkout of the cache alone finds it.
    EXPECT_EQ(s.checkout(1, false, &receipt), A_Err_NONE);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
    EXPECT_EQ(s.suite->AEGP_CheckoutCached(kClass, &one, &receipt), A_Err_NONE);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
    EXPECT_EQ(s.cache().computes(kClass, keyOf(1)), 1);
    EXPECT_EQ(s.cache().computes(kClass, keyOf(2)), 1);
    EXPECT_TRUE(s.cache().faults().empty());
}

TEST(ComputeCache, EagerPurgingDropsEveryValueNotCheckedOutAndNoneThatIs) {
    CacheSession s;
    s.cache().setPurgeEagerly(true);
    AEGP_CCCheckoutReceiptP a = nullptr, b = nullptr;
    ASSERT_EQ(s.checkout(1, true, &a), A_Err_NONE);
    ASSERT_EQ(s.checkout(2, true, &b), A_Err_NONE);
    EXPECT_EQ(s.cache().cachedValues(), 2);
    ASSERT_EQ(s.suite->AEGP_CheckinComputeReceipt(a), A_Err_NONE);
    EXPECT_EQ(g_client.deleted, std::set<int>{1});
    // Value 2 is still checked out: it survives the purge and stays readable.
    EXPECT_EQ(s.valueKey(b), 2);
    Options one{1};
    AEGP_CCCheckoutReceiptP again = nullptr;
    EXPECT_EQ(s.suite->AEGP_CheckoutCached(kClass, &one, &again),
              A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING);
    ASSERT_EQ(s.suite->AEGP_CheckinComputeReceipt(b), A_Err_NONE);
    EXPECT_EQ(g_client.deleted, (std::set<int>{1, 2}));
    EXPECT_EQ(s.cache().cachedValues(), 0);

    // Without the mode values stay until purged on demand, again sparing a checked-out one.
    s.cache().setPurgeEagerly(false);
    ASSERT_EQ(s.checkout(3, true, &a), A_Err_NONE);
    ASSERT_EQ(s.suite->AEGP_CheckinComputeReceipt(a), A_Err_NONE);
    ASSERT_EQ(s.checkout(4, true, &b), A_Err_NONE);
    EXPECT_EQ(s.cache().purgeNow(), 1);
    EXPECT_EQ(g_client.deleted, (std::set<int>{1, 2, 3}));
    ASSERT_EQ(s.suite->AEGP_CheckinComputeReceipt(b), A_Err_NONE);
    EXPECT_EQ(s.cache().computes(kClass, keyOf(1)), 1);
}

TEST(ComputeCache, CheckingInTwiceOrAnUnknownReceiptIsAStructErrorAndAFault) {
    CacheSession s;
    AEGP_CCCheckoutReceiptP receipt = nullptr;
    ASSERT_EQ(s.checkout(5, true, &receipt), A_Err_NONE);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
    EXPECT_TRUE(s.cache().faults().empty());
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_STRUCT);
    EXPECT_EQ(s.cache().faults().size(), 1u);
    // A receipt handed out later is another receipt: the old one stays spent.
    AEGP_CCCheckoutReceiptP next = nullptr;
    ASSERT_EQ(s.checkout(5, true, &next), A_Err_NONE);
    EXPECT_NE(next, receipt);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_STRUCT);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(nullptr), A_Err_STRUCT);
    EXPECT_EQ(s.suite->AEGP_CheckinComputeReceipt(next), A_Err_NONE);
    EXPECT_EQ(s.cache().faults().size(), 3u);
}

// An effect whose render checks a value out and, when told, returns without checking it in.
bool g_leaveCheckedOut = false;
PF_Err leakyCommand(const char*, PF_Cmd cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef**,
                    PF_LayerDef*, void*) {
    if (cmd != PF_Cmd_SMART_RENDER)
        return PF_Err_NONE;
    const void* table = nullptr;
    if (in_data->pica_basicP->AcquireSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1,
                                           &table) != A_Err_NONE)
        return PF_Err_BAD_CALLBACK_PARAM;
    const auto* suite = static_cast<const AEGP_ComputeCacheSuite1*>(table);
    Options o{9};
    AEGP_CCCheckoutReceiptP receipt = nullptr;
    A_Err err = suite->AEGP_ComputeIfNeededAndCheckout(kClass, &o, true, &receipt);
    if (err == A_Err_NONE && !g_leaveCheckedOut)
        err = suite->AEGP_CheckinComputeReceipt(receipt);
    in_data->pica_basicP->ReleaseSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
    return err;
}

TEST(ComputeCache, AReceiptStillCheckedOutWhenTheCommandReturnsIsRecorded) {
    g_client.reset();
    headless::Host host(headless::Plugin::fromCommand(leakyCommand));
    ASSERT_EQ(host.computeCache().registerClass(kClass, &kCallbacks), A_Err_NONE);
    g_leaveCheckedOut = false;
    ASSERT_EQ(host.send(PF_Cmd_SMART_RENDER), PF_Err_NONE);
    EXPECT_TRUE(host.computeCache().faults().empty());
    g_leaveCheckedOut = true;
    ASSERT_EQ(host.send(PF_Cmd_SMART_RENDER), PF_Err_NONE);
    ASSERT_EQ(host.computeCache().faults().size(), 1u);
    EXPECT_NE(host.computeCache().faults()[0].find("command 24"), std::string::npos)
        << host.computeCache().faults()[0];
    g_leaveCheckedOut = false;
    ASSERT_EQ(host.computeCache().unregisterClass(kClass), A_Err_NONE);
}

TEST(ComputeCache, UnregisteringDeletesEveryValueThroughTheClientAndForgetsTheClass) {
    CacheSession s;
    for (int key : {1, 2, 3}) {
        AEGP_CCCheckoutReceiptP receipt = nullptr;
        ASSERT_EQ(s.checkout(key, true, &receipt), A_Err_NONE);
        ASSERT_EQ(s.suite->AEGP_CheckinComputeReceipt(receipt), A_Err_NONE);
    }
    EXPECT_TRUE(g_client.deleted.empty());
    ASSERT_EQ(s.suite->AEGP_ClassUnregister(kClass), A_Err_NONE);
    EXPECT_EQ(g_client.deleted, (std::set<int>{1, 2, 3}));
    EXPECT_EQ(s.cache().cachedValues(), 0);
    AEGP_CCCheckoutReceiptP receipt = nullptr;
    EXPECT_EQ(s.checkout(1, true, &receipt), A_Err_STRUCT);
    EXPECT_EQ(s.cache().faults().size(), 1u);
}

TEST(ComputeCache, WithheldSuiteIsNotHandedOut) {
    headless::Host host(nullptr);
    host.withholdSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1);
    host.withholdSuite(kAEGPHashSuite, kAEGPHashSuiteVersion1);
    const void* table = &table;
    EXPECT_EQ(host.acquireSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1, &table),
              A_Err_MISSING_SUITE);
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(host.acquireSuite(kAEGPHashSuite, kAEGPHashSuiteVersion1, &table),
              A_Err_MISSING_SUITE);
    // A render-side host of the instance withholds them too.
    headless::Host render(nullptr);
    render.renderFor(host, nullptr);
    EXPECT_EQ(render.acquireSuite(kAEGPComputeCacheSuite, kAEGPComputeCacheSuiteVersion1, &table),
              A_Err_MISSING_SUITE);
}

// --- hash suite --------------------------------------------------------------------------------

TEST(HashSuite, IsMurmurHash3OfTheBytesAndMixesInInOrder) {
    headless::Host host(nullptr);
    const void* table = nullptr;
    ASSERT_EQ(host.acquireSuite(kAEGPHashSuite, kAEGPHashSuiteVersion1, &table), A_Err_NONE);
    const auto* suite = static_cast<const AEGP_HashSuite1*>(table);

    // The published MurmurHash3_x64_128("foo", seed 0): h1 = -2129773440516405919,
    // h2 = 9128664383759220103, stored low word first.
    AEGP_GUID foo{};
    ASSERT_EQ(suite->AEGP_CreateHashFromPtr(3, "foo", &foo), A_Err_NONE);
    const uint64_t h1 = static_cast<uint64_t>(-2129773440516405919LL);
    const uint64_t h2 = 9128664383759220103ULL;
    EXPECT_EQ(static_cast<uint32_t>(foo.bytes[0]), static_cast<uint32_t>(h1));
    EXPECT_EQ(static_cast<uint32_t>(foo.bytes[1]), static_cast<uint32_t>(h1 >> 32));
    EXPECT_EQ(static_cast<uint32_t>(foo.bytes[2]), static_cast<uint32_t>(h2));
    EXPECT_EQ(static_cast<uint32_t>(foo.bytes[3]), static_cast<uint32_t>(h2 >> 32));

    // Longer than one block, with a tail: one flipped bit changes the hash.
    unsigned char buf[37];
    for (size_t i = 0; i < sizeof buf; ++i)
        buf[i] = static_cast<unsigned char>(i * 7);
    AEGP_GUID a{}, b{};
    ASSERT_EQ(suite->AEGP_CreateHashFromPtr(sizeof buf, buf, &a), A_Err_NONE);
    buf[35] ^= 1;
    ASSERT_EQ(suite->AEGP_CreateHashFromPtr(sizeof buf, buf, &b), A_Err_NONE);
    EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);

    // Mixing in depends on what was hashed before and on the order.
    const int x = 1, y = 2;
    AEGP_GUID xy{}, yx{};
    suite->AEGP_CreateHashFromPtr(sizeof x, &x, &xy);
    suite->AEGP_HashMixInPtr(sizeof y, &y, &xy);
    suite->AEGP_CreateHashFromPtr(sizeof y, &y, &yx);
    suite->AEGP_HashMixInPtr(sizeof x, &x, &yx);
    EXPECT_NE(std::memcmp(&xy, &yx, sizeof xy), 0);
    AEGP_GUID yOnly{};
    suite->AEGP_CreateHashFromPtr(sizeof y, &y, &yOnly);
    EXPECT_NE(std::memcmp(&xy, &yOnly, sizeof xy), 0);
    host.releaseSuite(kAEGPHashSuite, kAEGPHashSuiteVersion1);
}

} // namespace
