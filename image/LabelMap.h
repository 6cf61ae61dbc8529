// Per-pixel zone labels with their path costs, the brightness the costs are measured on, and
// the seed flag of stroke pixels. Filled by the intensity fill and the seeding, spread by the
// propagation, read by the zone blend.
#pragma once

#include <cstdint>

// One per pixel. The three (label, cost) slots fill from the first; an empty slot (label 0)
// is never followed by a used one.
struct LabelCell {
    uint16_t label0, cost0;
    uint16_t label1, cost1;
    uint16_t label2, cost2;
    uint8_t intensity; // the input pixel's luma, 0..255
    uint8_t seed;      // 1 for a stroke pixel, which keeps its own label only

    uint16_t label(int k) const { return k == 0 ? label0 : k == 1 ? label1 : label2; }
    uint16_t cost(int k) const { return k == 0 ? cost0 : k == 1 ? cost1 : cost2; }
    void set(int k, uint16_t l, uint16_t c) {
        if (k == 0) {
            label0 = l;
            cost0 = c;
        } else if (k == 1) {
            label1 = l;
            cost1 = c;
        } else {
            label2 = l;
            cost2 = c;
        }
    }
};
static_assert(sizeof(LabelCell) == 14, "LabelCell is kept compact: a full frame of them");

// Cell (x, y) is cells[y * width + x]. The cells' storage belongs to whoever made the map
// (the pipeline takes it zero-filled from the memory handler).
struct LabelMap {
    int32_t width = 0;
    int32_t height = 0;
    LabelCell* cells = nullptr;
    int32_t boundsWidth = 0; // the bounds the neighbour rule uses; equal to width/height
    int32_t boundsHeight = 0;
    double falloffExponent = 4.0;

    LabelCell& at(int32_t x, int32_t y) { return cells[static_cast<int64_t>(y) * width + x]; }
    const LabelCell& at(int32_t x, int32_t y) const {
        return cells[static_cast<int64_t>(y) * width + x];
    }
};
