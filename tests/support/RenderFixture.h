// End-to-end rendering helpers: an effect instance in the headless host, test images in the
// host's world layout, and renders through the plain or smart protocol.
#pragma once

#include "headless/LayerMasks.h"
#include "headless/Worlds.h"

#include <memory>
#include <string>

namespace zptest {

enum class RenderKind { Plain, Smart };

// An instance with global, parameter and sequence setup done.
struct Instance {
    std::unique_ptr<headless::Host> host;
    headless::LayerMasks& masks() { return host->extension<headless::LayerMasks>(); }
    headless::RenderProtocol& protocol() { return host->extension<headless::RenderProtocol>(); }
    // Renders `in` into `out`; depth follows the worlds (32 means float, smart only).
    PF_Err render(headless::HostWorld& in, headless::HostWorld& out, RenderKind kind);
    Instance() = default;
    Instance(Instance&&) = default;
    ~Instance();
};

// The memory blocks of the host's handles that kept results hold between frames: none, since kept
// maps and blends live on the heap; tests count live handles against it.
int keptBlocks(headless::Host& host);

// `linkedIn` uses the effect linked into the test program instead of the built library.
Instance makeInstance(bool linkedIn = false);

// A deterministic picture with flat areas, soft gradients and hard edges, alpha varying too.
void paintTestImage(headless::HostWorld& w, unsigned seed = 1);

// A closed rectangle mask (four corners, straight sides).
headless::HostMask rectangleMask(const std::string& name, double x0, double y0, double x1,
                                 double y1);

} // namespace zptest
