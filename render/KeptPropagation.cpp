#include "render/KeptPropagation.h"

#include "image/MemoryHandler.h"
#include "render/KeptBlend.h"

#include <cstring>
#include <mutex>
#include <new>

struct KeptPropagation::Entry {
    fx::MemoryHandler* handler;
    PropagationInputs inputs; // its planes are the blocks below
    uint8_t* raster;
    uint8_t* intensity;
    LabelCell* cells;
    int64_t bytes; // the map's and the blend's
    std::unique_ptr<KeptBlend> blend;
    Entry* next = nullptr; // in a GiveBack's list
};

// Entries taken out of the store under its lock; their blocks go back to the memory handler
// (the host's handle suite) when this goes. Declared before the lock guard, it outlives the
// lock: no lock of ours is held while the host unlocks and disposes of handles, which may call
// back into the effect or wait on a thread that does.
class KeptPropagation::GiveBack {
public:
    GiveBack() = default;
    GiveBack(const GiveBack&) = delete;
    GiveBack& operator=(const GiveBack&) = delete;
    ~GiveBack() {
        while (head_ != nullptr) {
            Entry* e = head_;
            head_ = e->next;
            e->handler->release(e->cells);
            e->handler->release(e->intensity);
            e->handler->release(e->raster);
            delete e; // and its blend's blocks
        }
    }
    void add(Entry* e) {
        if (e == nullptr)
            return;
        e->next = head_;
        head_ = e;
    }

private:
    Entry* head_ = nullptr;
};

// The library's use order of the sequences that keep something, and what they keep in all.
// Sequences may render on different threads; every link and count changes under the mutex.
struct KeptPropagation::Store {
    std::mutex mutex;
    KeptPropagation* newest = nullptr;
    KeptPropagation* oldest = nullptr;
    int64_t bytes = 0;
    int64_t budget = kKeptBudgetBytes;
};

namespace {

int64_t planeBytes(int32_t width, int32_t height) {
    return width > 0 && height > 0 ? int64_t{width} * height : 0;
}

int64_t keptBytesOf(const PropagationInputs& in) {
    const int64_t cells = planeBytes(in.mapWidth, in.mapHeight);
    return planeBytes(in.rasterWidth, in.rasterHeight) + cells +
           cells * static_cast<int64_t>(sizeof(LabelCell));
}

bool sameInputs(const PropagationInputs& a, const PropagationInputs& b) {
    if (a.mapWidth != b.mapWidth || a.mapHeight != b.mapHeight || a.rasterWidth != b.rasterWidth ||
        a.rasterHeight != b.rasterHeight)
        return false;
    const auto raster = static_cast<size_t>(planeBytes(a.rasterWidth, a.rasterHeight));
    const auto intensity = static_cast<size_t>(planeBytes(a.mapWidth, a.mapHeight));
    return std::memcmp(a.raster, b.raster, raster) == 0 &&
           std::memcmp(a.intensity, b.intensity, intensity) == 0;
}

} // namespace

KeptPropagation::Store& KeptPropagation::store() {
    static Store s;
    return s;
}

KeptPropagation::KeptPropagation() = default;

KeptPropagation::~KeptPropagation() {
    clear();
}

KeptPropagation::FrameUse::FrameUse(KeptPropagation& kept) : kept_(kept) {
    std::lock_guard<std::mutex> lock(store().mutex);
    kept_.inUse_ = true;
}

KeptPropagation::FrameUse::~FrameUse() {
    std::lock_guard<std::mutex> lock(store().mutex);
    kept_.inUse_ = false;
}

const LabelCell* KeptPropagation::find(const PropagationInputs& inputs) {
    // Only this sequence's own frames change its entry, and others do not evict it while it is
    // in use, so the comparison needs no lock.
    const Entry* e = entry_;
    if (e == nullptr || inputs.raster == nullptr || inputs.intensity == nullptr ||
        !sameInputs(inputs, e->inputs))
        return nullptr;
    std::lock_guard<std::mutex> lock(store().mutex);
    unlinkLocked();
    linkFrontLocked();
    return e->cells;
}

bool KeptPropagation::keep(fx::MemoryHandler& handler, const PropagationInputs& inputs,
                           uint8_t* raster, uint8_t* intensity, LabelCell* cells) {
    const int64_t bytes = keptBytesOf(inputs);
    Store& s = store();
    GiveBack given;
    std::lock_guard<std::mutex> lock(s.mutex);
    given.add(detachLocked());
    if (bytes > s.budget)
        return false;
    evictLocked(bytes, given);
    if (s.bytes + bytes > s.budget)
        return false; // the rest is in use by frames being rendered
    auto* e = new (std::nothrow) Entry{&handler, inputs, raster, intensity, cells, bytes, nullptr};
    if (e == nullptr)
        return false;
    e->inputs.raster = raster;
    e->inputs.intensity = intensity;
    entry_ = e;
    s.bytes += bytes;
    linkFrontLocked();
    return true;
}

KeptBlend* KeptPropagation::blend() const {
    // Changed only by this sequence's own frames, and not evicted while one is rendered.
    return entry_ != nullptr ? entry_->blend.get() : nullptr;
}

bool KeptPropagation::keepBlend(std::unique_ptr<KeptBlend> blend) {
    if (blend == nullptr)
        return false;
    Store& s = store();
    GiveBack given; // what is given back waits for the lock to be released
    std::unique_ptr<KeptBlend> dropped;
    std::lock_guard<std::mutex> lock(s.mutex);
    if (entry_ == nullptr)
        return false;
    if (entry_->blend != nullptr) {
        entry_->bytes -= entry_->blend->bytes();
        s.bytes -= entry_->blend->bytes();
        dropped = std::move(entry_->blend);
    }
    const int64_t bytes = blend->bytes();
    if (bytes > s.budget)
        return false;
    evictLocked(bytes, given);
    if (s.bytes + bytes > s.budget)
        return false;
    entry_->blend = std::move(blend);
    entry_->bytes += bytes;
    s.bytes += bytes;
    return true;
}

std::unique_ptr<KeptBlend> KeptPropagation::takeBlend() {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (entry_ == nullptr || entry_->blend == nullptr)
        return nullptr;
    entry_->bytes -= entry_->blend->bytes();
    s.bytes -= entry_->blend->bytes();
    return std::move(entry_->blend);
}

int64_t KeptPropagation::bytesFor(const PropagationInputs& inputs) {
    return keptBytesOf(inputs);
}

bool KeptPropagation::withinBudget(int64_t bytes) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return bytes <= s.budget;
}

bool KeptPropagation::lockHeld() {
    Store& s = store();
    if (!s.mutex.try_lock())
        return true;
    s.mutex.unlock();
    return false;
}

int KeptPropagation::blocks() const {
    std::lock_guard<std::mutex> lock(store().mutex);
    if (entry_ == nullptr)
        return 0;
    return entry_->blend != nullptr ? 6 : 3;
}

void KeptPropagation::clear() {
    GiveBack given;
    std::lock_guard<std::mutex> lock(store().mutex);
    given.add(detachLocked());
}

bool KeptPropagation::holds() const {
    std::lock_guard<std::mutex> lock(store().mutex);
    return entry_ != nullptr;
}

void KeptPropagation::setBudget(int64_t bytes) {
    Store& s = store();
    GiveBack given;
    std::lock_guard<std::mutex> lock(s.mutex);
    s.budget = bytes;
    evictLocked(0, given);
}

int64_t KeptPropagation::keptBytes() {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bytes;
}

KeptPropagation::Entry* KeptPropagation::detachLocked() {
    if (entry_ == nullptr)
        return nullptr;
    unlinkLocked();
    Entry* e = entry_;
    entry_ = nullptr;
    store().bytes -= e->bytes;
    return e;
}

void KeptPropagation::unlinkLocked() {
    Store& s = store();
    if (newer_ != nullptr)
        newer_->older_ = older_;
    else if (s.newest == this)
        s.newest = older_;
    if (older_ != nullptr)
        older_->newer_ = newer_;
    else if (s.oldest == this)
        s.oldest = newer_;
    newer_ = older_ = nullptr;
}

void KeptPropagation::linkFrontLocked() {
    Store& s = store();
    older_ = s.newest;
    newer_ = nullptr;
    if (s.newest != nullptr)
        s.newest->newer_ = this;
    s.newest = this;
    if (s.oldest == nullptr)
        s.oldest = this;
}

void KeptPropagation::evictLocked(int64_t needed, GiveBack& given) {
    Store& s = store();
    KeptPropagation* k = s.oldest;
    while (k != nullptr && s.bytes + needed > s.budget) {
        KeptPropagation* newer = k->newer_;
        if (!k->inUse_)
            given.add(k->detachLocked());
        k = newer;
    }
}
