#include "render/LabelPropagator.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t kMaxSide = 65535;
constexpr int32_t kMaxCost = 65535;

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

LabelPropagator::LabelPropagator(LabelMap& target) : map(target) {
    // Seed expansion comes before run() and consults the factor too; give it the same value.
    updateAdmissionFactor();
}

void LabelPropagator::updateAdmissionFactor() {
    admissionFactor = std::pow(1.0 / minimumBlendWeight - 1.0, 1.0 / map.falloffExponent);
}

void LabelPropagator::push(const QueueItem& item) {
    queue.push_back(item);
    size_t hole = queue.size() - 1;
    while (hole > 0) {
        const size_t parent = (hole - 1) / 2;
        if (!(queue[parent].cost > item.cost))
            break;
        queue[hole] = queue[parent];
        hole = parent;
    }
    queue[hole] = item;
}

QueueItem LabelPropagator::pop() {
    assert(!queue.empty());
    const QueueItem front = queue.front();
    const QueueItem last = queue.back();
    queue.pop_back();
    const size_t n = queue.size();
    if (n == 0)
        return front;

    // The hole sinks all the way down before the last item is placed, rather than the last
    // item sinking from the top: the order of equal costs depends on it.
    size_t hole = 0;
    for (;;) {
        const size_t left = 2 * hole + 1;
        if (left >= n)
            break;
        const size_t right = left + 1;
        const size_t child = (right < n && queue[right].cost <= queue[left].cost) ? right : left;
        queue[hole] = queue[child];
        hole = child;
    }
    while (hole > 0) {
        const size_t parent = (hole - 1) / 2;
        if (!(queue[parent].cost > last.cost))
            break;
        queue[hole] = queue[parent];
        hole = parent;
    }
    queue[hole] = last;
    return front;
}

void LabelPropagator::expand(uint16_t x, uint16_t y, LabelSlot slot) {
    // Label 0 means "empty": spreading it would never settle a cell and never stop.
    if (slot.label == 0 || !propagationSupports(map) || x >= map.width || y >= map.height)
        return;
    const int32_t here = map.at(x, y).intensity;
    for (const GridPosition& n : neighbours(map, x, y)) {
        if (n.x < 0)
            continue;
        const LabelCell& cell = map.at(n.x, n.y);
        // Saturate: a wrapped sum would make a long, costly path look like a cheap one.
        const int32_t cost = std::min(kMaxCost, std::abs(here - cell.intensity) + slot.cost);
        if (cell.seed != 0)
            continue;
        if (holdsLabel(cell, slot.label))
            continue;
        if (cell.label0 != 0 && static_cast<double>(cell.cost0) * admissionFactor < cost)
            continue;
        push(QueueItem{static_cast<uint16_t>(n.x), static_cast<uint16_t>(n.y), slot.label,
                       static_cast<uint16_t>(cost)});
    }
}

bool LabelPropagator::run() {
    if (!propagationSupports(map))
        return false;
    updateAdmissionFactor();
    while (!queue.empty()) {
        const QueueItem item = pop();
        // Items come from expand() and lie on the map; anything else pushed by hand is dropped.
        if (item.x >= map.width || item.y >= map.height)
            continue;
        LabelCell& cell = map.at(item.x, item.y);
        if (holdsLabel(cell, item.label))
            continue;
        const int slot = firstEmptySlot(cell);
        if (slot == 3)
            continue;
        cell.set(slot, item.label, item.cost);
        expand(item.x, item.y, LabelSlot{item.label, item.cost});
    }
    return true;
}

bool propagateLabels(LabelMap& map) {
    if (!propagationSupports(map))
        return false;
    LabelPropagator propagator(map);
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
