#include "render/LabelPropagator.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

#if defined(_MSC_VER) && !defined(__clang__)
#include <xmmintrin.h>
#endif

namespace {

constexpr int32_t kMaxSide = 65535;
constexpr int32_t kMaxCost = 65535;

// A hint only: the address need not be valid.
inline void prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(p);
#elif defined(_MSC_VER)
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
#else
    (void)p;
#endif
}

// Starts loading the rows of cells that settling `item` reads. Only addresses are formed (as
// integers, so a row above the first or below the last is no concern): nothing is read here.
void prefetchNeighbourhood(const LabelMap& map, const QueueItem& item) {
    const uintptr_t row = static_cast<uintptr_t>(map.width) * sizeof(LabelCell);
    const uintptr_t at =
        reinterpret_cast<uintptr_t>(map.cells) +
        (static_cast<uintptr_t>(item.y) * static_cast<uintptr_t>(map.width) + item.x) *
            sizeof(LabelCell);
    prefetch(reinterpret_cast<const void*>(at - row));
    prefetch(reinterpret_cast<const void*>(at));
    prefetch(reinterpret_cast<const void*>(at + row));
}

// Slots fill from the first, so the scan may stop at the first empty one.
bool holdsLabel(const LabelCell& cell, uint16_t label) {
    if (cell.label0 == 0)
        return false;
    if (cell.label0 == label)
        return true;
    if (cell.label1 == 0)
        return false;
    if (cell.label1 == label)
        return true;
    return cell.label2 == label;
}

// Index of the first empty slot, 3 when all are used.
int firstEmptySlot(const LabelCell& cell) {
    if (cell.label0 == 0)
        return 0;
    if (cell.label1 == 0)
        return 1;
    if (cell.label2 == 0)
        return 2;
    return 3;
}

} // namespace

std::array<GridPosition, 4> neighbours(const LabelMap& map, int32_t x, int32_t y) {
    constexpr GridPosition off{-1, -1};
    return {x <= 0 ? off : GridPosition{x - 1, y},
            x >= map.boundsWidth - 1 ? off : GridPosition{x + 1, y},
            y <= 0 ? off : GridPosition{x, y - 1},
            y >= map.boundsHeight - 1 ? off : GridPosition{x, y + 1}};
}

bool propagationSupports(const LabelMap& map) {
    // Neighbours are judged against the bounds but addressed in the cells, so bounds larger
    // than the map would reach past its storage.
    return map.cells != nullptr && map.width >= 1 && map.width <= kMaxSide && map.height >= 1 &&
           map.height <= kMaxSide && map.boundsWidth <= map.width && map.boundsHeight <= map.height;
}

void LabelQueue::grow() {
    const size_t capacity = std::max<size_t>(1024, 2 * items_.size());
    items_.resize(capacity);
    costs_.resize(capacity);
}

void LabelQueue::release() {
    size_ = 0;
    std::vector<QueueItem>().swap(items_);
    std::vector<uint16_t>().swap(costs_);
}

void LabelQueue::push(const QueueItem& item) {
    if (size_ == items_.size())
        grow();
    QueueItem* const items = items_.data();
    uint16_t* const costs = costs_.data();
    size_t hole = size_++;
    while (hole > 0) {
        const size_t parent = (hole - 1) / 2;
        if (!(costs[parent] > item.cost))
            break;
        items[hole] = items[parent];
        costs[hole] = costs[parent];
        hole = parent;
    }
    items[hole] = item;
    costs[hole] = item.cost;
}

QueueItem LabelQueue::pop() {
    assert(size_ > 0);
    QueueItem* const items = items_.data();
    uint16_t* const costs = costs_.data();
    const QueueItem front = items[0];
    const size_t n = --size_;
    const QueueItem last = items[n];
    if (n == 0)
        return front;

    // The hole sinks all the way down before the last item is placed, rather than the last
    // item sinking from the top: the order of equal costs depends on it.
    //
    // The sink is a chain of dependent loads, one level after the other. Two levels are taken
    // per step while all four grandchildren exist: their costs are loaded together with the
    // children's, and the first choice only selects among values already in registers.
    // Choices are comparisons turned into indices, not branches: they fall at random.
    size_t hole = 0;
    for (;;) {
        const size_t left = 2 * hole + 1;
        const size_t grand = 2 * left + 1; // grandchildren grand .. grand + 3
        if (grand + 3 >= n)
            break;
        const uint16_t l0 = costs[left], l1 = costs[left + 1];
        const uint16_t g0 = costs[grand], g1 = costs[grand + 1];
        const uint16_t g2 = costs[grand + 2], g3 = costs[grand + 3];
        const size_t right1 = l1 <= l0;
        const uint16_t pairLeft = right1 ? g2 : g0;
        const uint16_t pairRight = right1 ? g3 : g1;
        const size_t right2 = pairRight <= pairLeft;
        const size_t child = left + right1;
        const size_t grandchild = grand + 2 * right1 + right2;
        items[hole] = items[child];
        costs[hole] = right1 ? l1 : l0;
        items[child] = items[grandchild];
        costs[child] = right2 ? pairRight : pairLeft;
        hole = grandchild;
    }
    for (;;) {
        const size_t left = 2 * hole + 1;
        if (left >= n)
            break;
        const size_t child = left + 1 < n ? left + (costs[left + 1] <= costs[left]) : left;
        items[hole] = items[child];
        costs[hole] = costs[child];
        hole = child;
    }
    while (hole > 0) {
        const size_t parent = (hole - 1) / 2;
        if (!(costs[parent] > last.cost))
            break;
        items[hole] = items[parent];
        costs[hole] = costs[parent];
        hole = parent;
    }
    items[hole] = last;
    costs[hole] = last.cost;
    return front;
}

LabelPropagator::LabelPropagator(LabelMap& target) : map(target) {
    // Seed expansion comes before run() and consults the factor too; give it the same value.
    updateAdmissionFactor();
}

void LabelPropagator::updateAdmissionFactor() {
    admissionFactor = std::pow(1.0 / minimumBlendWeight - 1.0, 1.0 / map.falloffExponent);
}

void LabelPropagator::expand(uint16_t x, uint16_t y, LabelSlot slot) {
    // Label 0 means "empty": spreading it would never settle a cell and never stop.
    if (slot.label == 0 || !propagationSupports(map) || x >= map.width || y >= map.height)
        return;
    offer(x, y, slot.label, slot.cost);
}

// expand() for a supported map and a cell on it. The neighbour rule of neighbours(), spelt
// out on cell addresses.
void LabelPropagator::offer(int32_t x, int32_t y, uint16_t label, uint16_t cost) {
    const int64_t width = map.width;
    const LabelCell* const here = map.cells + y * width + x;
    const int32_t level = here->intensity;
    auto consider = [&](const LabelCell& cell, int32_t nx, int32_t ny) {
        // Saturate: a wrapped sum would make a long, costly path look like a cheap one.
        const int32_t d = std::min(kMaxCost, std::abs(level - cell.intensity) + cost);
        if (cell.seed != 0)
            return;
        if (holdsLabel(cell, label))
            return;
        if (cell.label0 != 0 && static_cast<double>(cell.cost0) * admissionFactor < d)
            return;
        queue.push(QueueItem{static_cast<uint16_t>(nx), static_cast<uint16_t>(ny), label,
                             static_cast<uint16_t>(d)});
    };
    if (x > 0)
        consider(here[-1], x - 1, y);
    if (x < map.boundsWidth - 1)
        consider(here[1], x + 1, y);
    if (y > 0)
        consider(here[-width], x, y - 1);
    if (y < map.boundsHeight - 1)
        consider(here[width], x, y + 1);
}

bool LabelPropagator::run() {
    if (!propagationSupports(map))
        return false;
    updateAdmissionFactor();
    while (!queue.empty()) {
        const QueueItem item = queue.pop();
        // The next arrivals are scattered over the frame; start loading their cells while
        // this one is settled.
        for (size_t k = 0; k < 3 && k < queue.size(); ++k)
            prefetchNeighbourhood(map, queue[k]);
        // Items come from expand(): labelled and on the map. Anything else pushed by hand is
        // dropped.
        if (item.label == 0 || item.x >= map.width || item.y >= map.height)
            continue;
        LabelCell& cell = map.at(item.x, item.y);
        if (holdsLabel(cell, item.label))
            continue;
        const int slot = firstEmptySlot(cell);
        if (slot == 3)
            continue;
        cell.set(slot, item.label, item.cost);
        offer(item.x, item.y, item.label, item.cost);
    }
    return true;
}

bool propagateLabels(LabelMap& map) {
    LabelQueue storage;
    return propagateLabels(map, storage);
}

bool propagateLabels(LabelMap& map, LabelQueue& storage) {
    if (!propagationSupports(map))
        return false;
    LabelPropagator propagator(map);
    propagator.queue = std::move(storage);
    propagator.queue.clear();
    // Handed back on every way out, the exceptional one included.
    struct GiveBack {
        LabelQueue& from;
        LabelQueue& to;
        ~GiveBack() {
            to = std::move(from);
            to.clear();
        }
    } giveBack{propagator.queue, storage};
    for (int32_t y = 0; y < map.height; ++y) {
        for (int32_t x = 0; x < map.width; ++x) {
            const LabelCell& cell = map.at(x, y);
            if (cell.seed != 0) {
                propagator.expand(static_cast<uint16_t>(x), static_cast<uint16_t>(y),
                                  LabelSlot{cell.label0, cell.cost0});
            }
        }
    }
    return propagator.run();
}
