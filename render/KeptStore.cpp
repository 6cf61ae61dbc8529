#include "render/KeptStore.h"

#include "render/KeptBlend.h"

struct KeptStore::Node {
    bool blend = false;
    PropagationKey key;
    int64_t bytes = 0;
    // A map: made (false while one thread makes it) and held by `pins` frames.
    std::unique_ptr<KeptMap> map;
    bool made = false;
    int pins = 0;
    // A blend: the inputs of the map it was made over, and whether a frame has it.
    std::unique_ptr<InputsCopy> over;
    std::unique_ptr<KeptBlend> kept;
    bool lent = false;

    bool held() const { return blend ? lent : (!made || pins > 0); }
};

KeptStore& KeptStore::library() {
    static KeptStore store;
    return store;
}

KeptStore::KeptStore() = default;
KeptStore::~KeptStore() = default;

PropagationKey KeptStore::keyOf(const PropagationInputs& inputs) {
    const PropagationHasher h = propagationHasherOverride();
    return h != nullptr ? h(inputs) : ownPropagationKey(inputs);
}

KeptStore::Nodes::iterator KeptStore::findLocked(bool blend, const PropagationKey& key) {
    for (auto it = nodes_.begin(); it != nodes_.end(); ++it) {
        if (it->blend == blend && it->key == key)
            return it;
    }
    return nodes_.end();
}

void KeptStore::evictLocked(int64_t needed, Freed& freed) {
    auto it = nodes_.end();
    while (it != nodes_.begin() && bytes_ + needed > budget_) {
        --it;
        if (it->held())
            continue;
        bytes_ -= it->bytes;
        auto victim = it++;
        freed.splice(freed.end(), nodes_, victim);
    }
}

MapCache::Checkout KeptStore::checkout(const PropagationInputs& inputs, const ComputeMap& compute) {
    if (!inputs.complete())
        return {};
    const PropagationKey key = keyOf(inputs);
    const int64_t bytes = KeptMap::bytesFor(inputs);
    Freed freed; // destroyed after the lock is released
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        auto it = findLocked(false, key);
        if (it == nodes_.end())
            break;
        if (!it->made) {
            made_.wait(lock); // another thread makes it: wait, then look again
            continue;
        }
        ++it->pins;
        nodes_.splice(nodes_.begin(), nodes_, it);
        return {it->map.get(), &*it};
    }
    if (bytes > budget_)
        return {};
    evictLocked(bytes, freed);
    if (bytes_ + bytes > budget_)
        return {}; // the rest is held by frames being rendered
    nodes_.emplace_front();
    Node& n = nodes_.front();
    n.key = key;
    n.bytes = bytes;
    n.pins = 1;
    bytes_ += bytes;
    lock.unlock();

    const auto abandon = [&] {
        std::lock_guard<std::mutex> relock(mutex_);
        for (auto it = nodes_.begin(); it != nodes_.end(); ++it) {
            if (&*it == &n) {
                bytes_ -= n.bytes;
                freed.splice(freed.end(), nodes_, it);
                break;
            }
        }
        made_.notify_all();
    };
    std::unique_ptr<KeptMap> value = KeptMap::make(inputs);
    if (value == nullptr) {
        abandon();
        return {};
    }
    try {
        compute(value->cells());
    } catch (...) {
        abandon();
        throw;
    }
    lock.lock();
    n.map = std::move(value);
    n.made = true;
    made_.notify_all();
    return {n.map.get(), &n};
}

void KeptStore::checkin(void* receipt) noexcept {
    if (receipt == nullptr)
        return;
    Freed freed;
    std::lock_guard<std::mutex> lock(mutex_);
    auto* n = static_cast<Node*>(receipt);
    --n->pins;
    evictLocked(0, freed); // a budget lowered while the map was held
}

std::unique_ptr<KeptBlend> KeptStore::lendBlend(const PropagationInputs& inputs, bool& busy) {
    busy = false;
    if (!inputs.complete())
        return nullptr;
    const PropagationKey key = keyOf(inputs);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = findLocked(true, key);
    if (it == nodes_.end() || !it->over->equals(inputs))
        return nullptr;
    if (it->lent) {
        busy = true;
        return nullptr;
    }
    it->lent = true;
    nodes_.splice(nodes_.begin(), nodes_, it);
    return std::move(it->kept);
}

void KeptStore::returnBlend(const PropagationInputs& inputs,
                            std::unique_ptr<KeptBlend> blend) noexcept {
    Freed freed;
    std::unique_ptr<KeptBlend> dropped; // freed after the lock is released too
    std::unique_ptr<InputsCopy> over;
    const PropagationKey key = keyOf(inputs);
    if (blend != nullptr)
        over = InputsCopy::make(inputs);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = findLocked(true, key);
    if (it != nodes_.end()) {
        // The node lent to this frame, or one over other inputs of the same key (a collision),
        // or one kept while this frame made its own: the newer blend takes its place.
        if (it->lent && !it->over->equals(inputs))
            return; // lent to another frame over other inputs: this one is not kept
        if (it->lent && blend == nullptr && it->kept == nullptr) {
            it->lent = false; // a lending ended without a blend: nothing to keep
            bytes_ -= it->bytes;
            freed.splice(freed.end(), nodes_, it);
            return;
        }
        bytes_ -= it->bytes;
        freed.splice(freed.end(), nodes_, it);
    }
    if (blend == nullptr || over == nullptr) {
        dropped = std::move(blend);
        return;
    }
    const int64_t bytes = blend->bytes() + over->bytes();
    if (bytes > budget_) {
        dropped = std::move(blend);
        return;
    }
    evictLocked(bytes, freed);
    if (bytes_ + bytes > budget_) {
        dropped = std::move(blend);
        return;
    }
    nodes_.emplace_front();
    Node& n = nodes_.front();
    n.blend = true;
    n.key = key;
    n.bytes = bytes;
    n.over = std::move(over);
    n.kept = std::move(blend);
    bytes_ += bytes;
}

void KeptStore::setBudget(int64_t bytes) {
    Freed freed;
    std::lock_guard<std::mutex> lock(mutex_);
    budget_ = bytes;
    evictLocked(0, freed);
}

int64_t KeptStore::budget() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return budget_;
}

int64_t KeptStore::keptBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_;
}

int KeptStore::keptMaps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Node& node : nodes_)
        n += node.blend ? 0 : 1;
    return n;
}

int KeptStore::keptBlends() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const Node& node : nodes_)
        n += node.blend ? 1 : 0;
    return n;
}

void KeptStore::clear() {
    Freed freed;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        auto next = std::next(it);
        if (!it->held()) {
            bytes_ -= it->bytes;
            freed.splice(freed.end(), nodes_, it);
        }
        it = next;
    }
}
