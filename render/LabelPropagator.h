// Spreads the stroke labels of a label map over every pixel: a multi-source shortest-path
// search on the 4-connected grid, all labels at once in one priority queue, where a cell may
// be settled by up to three different labels. The cost of a step is the absolute difference
// of the two cells' intensities (0..255), so labels flow through flat areas and stop at
// strong edges.
//
// Contract:
// - Maps of 1..65535 columns and rows are supported (positions travel as 16-bit values); for
//   any other map, or one without cells, or whose bounds exceed its size, nothing is done.
// - Costs are 16-bit and saturate: a path whose summed differences exceed 65535 arrives at
//   65535 rather than wrapping around to a small cost.
// - Which labels a cell keeps, and in which slot, follows from the exact pop order of the
//   binary heap below, ties included; the queue is therefore a fixed algorithm, not any
//   priority queue.
#pragma once

#include "image/LabelMap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// One pending arrival of `label` at cell (x, y) with path cost `cost`.
struct QueueItem {
    uint16_t x, y, label, cost;
};

// A (label, cost) pair as held in one slot of a LabelCell.
struct LabelSlot {
    uint16_t label, cost;
};

struct GridPosition {
    int32_t x, y;
    friend bool operator==(const GridPosition&, const GridPosition&) = default;
};

// The four neighbours of (x, y) in the order left, right, up, down, judged against the map's
// bounds (boundsWidth, boundsHeight); a position off the map is (-1, -1).
std::array<GridPosition, 4> neighbours(const LabelMap& map, int32_t x, int32_t y);

// True when the propagation can run on `map` (see the contract above).
bool propagationSupports(const LabelMap& map);

// The propagation's priority queue: a binary min-heap on cost, front at index 0, children
// of i at 2i + 1 and 2i + 2.
// push: append, then climb while the parent's cost is strictly greater (equal costs stop).
// pop: takes the front; the hole left there sinks to the bottom, each step to the cheaper
// child (the right one on equal costs, the only one where there is one), and the former last
// item fills the hole and climbs as in push.
class LabelQueue {
public:
    void push(const QueueItem& item);
    // Precondition: not empty.
    QueueItem pop();
    // Item i in heap order; 0 is the front.
    const QueueItem& operator[](std::size_t i) const { return items_[i]; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }
    // Room for this many items, held whether or not they are used.
    std::size_t capacity() const { return items_.size(); }
    // Gives the room back.
    void release();

private:
    void grow();

    // The first size_ entries are the heap; the vectors only provide the room.
    std::size_t size_ = 0;
    std::vector<QueueItem> items_;
    // costs_[i] == items_[i].cost. The sift compares only costs; walking this compact copy
    // keeps its chain of dependent loads in cache.
    std::vector<uint16_t> costs_;
};

class LabelPropagator {
public:
    explicit LabelPropagator(LabelMap& target);

    // Offers `slot`'s label to the four neighbours of cell (x, y), each at the slot's cost
    // plus the intensity difference. A neighbour is skipped when it is a seed, already holds
    // the label, or its first label's cost times the admission factor is below the new cost.
    // Label 0 (empty), cells outside the map and unsupported maps are ignored.
    void expand(uint16_t x, uint16_t y, LabelSlot slot);

    // Recomputes the admission factor, then settles queued arrivals, cheapest first, until
    // the queue is empty: an arrival is written into the first empty slot of its cell unless
    // the cell already holds its label or has no empty slot, and is then expanded further.
    // Returns false, doing nothing, for an unsupported map.
    bool run();

    LabelMap& map;
    double minimumBlendWeight = 0.1;
    // (1 / minimumBlendWeight - 1) ^ (1 / map.falloffExponent): sqrt(3) for 0.1 and 4.
    // A second label is kept beside the first while its cost is at most this times the first's.
    double admissionFactor = 0;
    LabelQueue queue;

private:
    void updateAdmissionFactor();
    void offer(int32_t x, int32_t y, uint16_t label, uint16_t cost);
};

// The pipeline's propagation step: every seed cell, row by row and left to right, is
// expanded with its first slot, then the queue is run empty. Returns false, leaving the map
// untouched, for an unsupported map.
bool propagateLabels(LabelMap& map);

// The same, with the queue's room taken from `storage` and handed back to it afterwards (emptied):
// a sequence keeps it from frame to frame rather than growing a fresh queue in fresh memory.
bool propagateLabels(LabelMap& map, LabelQueue& storage);
