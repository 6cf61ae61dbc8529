// The label map of a sequence's last propagation, kept with the inputs it was made from. The map
// is a pure function of those inputs (the stroke raster, the intensity of every cell, the sizes),
// so a frame whose inputs are byte-identical (a colour-only change on a still frame, the common
// case while a slider is dragged) takes the kept cells instead of propagating again. Inputs are
// compared byte for byte, never by a hash: a reused map is exactly the map the propagation would
// make. The zone blend last made over the map (KeptBlend) is kept with it.
//
// What all sequences keep counts against one budget of the loaded library (kKeptBudgetBytes by
// default); the least recently used entry is given back first. Keeping is an optimisation only:
// a block that cannot be had, or an entry that does not fit, just means the next frame
// propagates. Safe to use from several render threads, one frame per sequence at a time; blocks
// go back to the memory handler (the host) only once the store's lock is released.
#pragma once

#include "image/LabelMap.h"

#include <cstdint>
#include <memory>

class KeptBlend;

namespace fx {
class MemoryHandler;
}

// 1 GiB. A frame keeps 16 bytes a pixel for its map and 44 (8-bit), 52 (16-bit) or 68 (float)
// for its blend: 124 MB for a 1080p 8-bit frame, 498 MB at 4K, 697 MB for a 4K float frame,
// which still fits with room for smaller sequences.
constexpr int64_t kKeptBudgetBytes = int64_t{1} << 30;

// The inputs of one propagation. Both planes are packed rows: the raster rasterWidth x
// rasterHeight bytes (labels, 0 = none), the intensity mapWidth x mapHeight bytes.
struct PropagationInputs {
    int32_t mapWidth = 0;
    int32_t mapHeight = 0;
    int32_t rasterWidth = 0;
    int32_t rasterHeight = 0;
    const uint8_t* raster = nullptr;
    const uint8_t* intensity = nullptr;
};

class KeptPropagation {
public:
    KeptPropagation();
    // Gives back whatever is kept.
    ~KeptPropagation();
    KeptPropagation(const KeptPropagation&) = delete;
    KeptPropagation& operator=(const KeptPropagation&) = delete;

    // Held for a frame: while it lives the entry is not evicted by other sequences, so cells
    // returned by find() stay valid.
    class FrameUse {
    public:
        explicit FrameUse(KeptPropagation& kept);
        ~FrameUse();
        FrameUse(const FrameUse&) = delete;
        FrameUse& operator=(const FrameUse&) = delete;

    private:
        KeptPropagation& kept_;
    };

    // The kept cells when `inputs` equal the kept inputs, else null. Call within a FrameUse.
    const LabelCell* find(const PropagationInputs& inputs);

    // Takes over the blocks of a propagation just made (all three from `handler`, the inputs'
    // raster and intensity planes and the resulting cells) in place of what was kept; returns
    // false, taking nothing, when they do not fit the budget. Call within a FrameUse.
    bool keep(fx::MemoryHandler& handler, const PropagationInputs& inputs, uint8_t* raster,
              uint8_t* intensity, LabelCell* cells);

    // The blend kept with the map find() just returned, or null. Call within the same FrameUse.
    KeptBlend* blend() const;
    // Takes the kept blend away from the kept map (whose blend it no longer is), so that its
    // memory can serve a new one. Call within a FrameUse.
    std::unique_ptr<KeptBlend> takeBlend();
    // Keeps `blend`, made over the map kept now, in place of the blend kept before; returns
    // false, giving it back, when no map is kept or it does not fit the budget. Call within a
    // FrameUse, after keep() for a map made in that frame.
    bool keepBlend(std::unique_ptr<KeptBlend> blend);

    // Gives back what is kept (flatten, setdown).
    void clear();
    bool holds() const;
    // Memory blocks held: 3 (raster, intensity, cells) while a map is kept, 3 more (the output
    // before and after blending, the slot colours) while its blend is, else 0.
    int blocks() const;

    // The budget shared by every sequence (tests lower it), and the bytes kept by all.
    static void setBudget(int64_t bytes);
    static int64_t keptBytes();
    // Bytes a map made from such inputs keeps, and whether a sequence may keep that many at all.
    static int64_t bytesFor(const PropagationInputs& inputs);
    static bool withinBudget(int64_t bytes);
    // Whether some thread holds the lock over what every sequence keeps at this moment. Call it
    // only from a thread that does not: tests check from a memory handler, on a thread of their
    // own, that no block goes back to the host under that lock.
    static bool lockHeld();

private:
    struct Entry;
    struct Store;
    class GiveBack;
    Entry* entry_ = nullptr;
    bool inUse_ = false;
    // Neighbours in the library's use order, most recent first.
    KeptPropagation* newer_ = nullptr;
    KeptPropagation* older_ = nullptr;

    // Takes this sequence's entry out of the store, for a GiveBack to release; null if none.
    Entry* detachLocked();
    void unlinkLocked();
    void linkFrontLocked();
    static Store& store();
    // Takes out the least recently used entries not in use until `needed` more bytes fit.
    static void evictLocked(int64_t needed, GiveBack& given);
};
