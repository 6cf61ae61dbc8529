// The library's own store of kept results, shared by every sequence and render thread: label
// maps (when the host offers no compute cache) and zone blends (always: a blend is written by
// the frame that reuses it, so it is lent to one frame at a time rather than shared).
//
// Everything kept counts against one budget (kKeptBudgetBytes unless tests lower it); the least
// recently used entry that no frame holds goes first. Keeping is an optimisation only: what
// cannot be had or does not fit just means a frame propagates or blends afresh. Maps are found
// by their inputs' key and compared byte for byte by the frame; a thread asking for a map
// another thread is making waits for it instead of making it again. Values live on the heap
// and are freed only after the store's lock is released.
#pragma once

#include "render/MapCache.h"

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

class KeptBlend;

class KeptStore final : public MapCache {
public:
    // The one store of the loaded library.
    static KeptStore& library();

    KeptStore();
    ~KeptStore() override;
    KeptStore(const KeptStore&) = delete;
    KeptStore& operator=(const KeptStore&) = delete;

    Checkout checkout(const PropagationInputs& inputs, const ComputeMap& compute) override;
    void checkin(void* receipt) noexcept override;

    // The blend kept over the map of `inputs`, lent to the calling frame alone until it gives it
    // back with returnBlend(); null when none is kept. `busy` tells that another frame holds it.
    std::unique_ptr<KeptBlend> lendBlend(const PropagationInputs& inputs, bool& busy);
    // Takes back a blend made over the map of `inputs` (the one lent, or a new one in its place)
    // and keeps it when it fits the budget; a null blend ends a lending without keeping.
    void returnBlend(const PropagationInputs& inputs, std::unique_ptr<KeptBlend> blend) noexcept;

    // Tests lower the budget; a lower one gives back at once what no frame holds.
    void setBudget(int64_t bytes);
    int64_t budget() const;
    int64_t keptBytes() const;
    int keptMaps() const;
    int keptBlends() const;
    // Gives back everything no frame holds (global setdown).
    void clear();

private:
    struct Node;
    using Nodes = std::list<Node>;
    using Freed = std::list<Node>;

    Nodes::iterator findLocked(bool blend, const PropagationKey& key);
    // Takes out the least recently used nodes no frame holds until `needed` more bytes fit.
    void evictLocked(int64_t needed, Freed& freed);
    static PropagationKey keyOf(const PropagationInputs& inputs);

    mutable std::mutex mutex_;
    std::condition_variable made_;
    Nodes nodes_; // most recently used first
    int64_t bytes_ = 0;
    int64_t budget_ = kKeptBudgetBytes;
};
