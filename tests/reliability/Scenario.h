// Shared ground of the reliability tests: an effect instance in the headless host with every
// stage of the frame switched on, the host's leftovers after a run, and pixel helpers.
#pragma once

#include "headless/Host.h"
#include "headless/LayerMasks.h"
#include "headless/Worlds.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace reliability {

// Small frames keep the sweeps quick; odd sizes would change nothing the sweeps look at.
inline constexpr int kWidth = 24;
inline constexpr int kHeight = 16;

// A host for the effect linked into this program, so the effect's process-wide state (live
// render states, the memory handler) can be read after each run.
std::unique_ptr<headless::Host> linkedHost();

// Masks and parameter values that switch on every stage: group 1 on a closed mask with a tone
// change and "Effects" 100, group 2 on an open stroke linked by name, a colorize slot with a
// mask of its own, one mask no group names, and blur, fill light and glow with the given blend
// (params::GlowBlend). The layer height makes the blur radii a few pixels on the small frame.
// Needs parameter setup done.
void armEveryStage(headless::Host& host, int glowBlend);

// An open two-segment stroke.
headless::HostMask openStroke(const std::string& name, double x0, double y0, double x1, double y1,
                              double x2, double y2);

// What the host still holds for the effect and the effect's process-wide state.
struct Holdings {
    int handles = 0;
    int lockedHandles = 0;
    int suites = 0;
    int checkouts = 0;
    int maskObjects = 0; // mask handles, streams, stream values and path checkouts
    int32_t renderStates = 0;
    bool memoryHandler = false;
    int keptBlocks = 0; // the locked blocks of the current sequence's kept label map

    bool empty() const {
        return handles == 0 && lockedHandles == 0 && suites == 0 && checkouts == 0 &&
               maskObjects == 0 && renderStates == 0 && !memoryHandler;
    }
    std::string describe() const;
};
Holdings holdings(headless::Host& host);

// The first channel of every pixel, row by row (alpha in the host's layout).
std::vector<uint8_t> alphaBytes(const headless::HostWorld& world);

// Paints the test picture into a world of any depth and row layout.
void paint(headless::HostWorld& world, unsigned seed = 1);

} // namespace reliability
