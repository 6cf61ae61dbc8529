// The layer the effect is applied to, with its masks, served through the host's mask suites
// ("AEGP PF Interface Suite", "AEGP Layer Mask Suite", "AEGP Stream Suite", "AEGP Mask Outline
// Suite", "PF Path Query Suite", "PF Path Data Suite"). Every mask handle, stream, stream value
// and path checkout handed out is counted until it is given back.
#pragma once

#include "headless/Host.h"

#include <string>
#include <vector>

namespace headless {

struct HostMask {
    std::string name;
    double alpha = 1.0, red = 1.0, green = 1.0, blue = 0.0; // the mask colour shown by the host
    int mode = 1;
    double opacity = 100.0;
    double expansion = 0.0;
    bool closed = true;
    // Outline points in layer pixels at full resolution; tangents are offsets from the vertex.
    std::vector<AEGP_MaskVertex> vertices;
};

class LayerMasks : public Host::Extension {
public:
    explicit LayerMasks(Host& host) : host_(host) {}

    // The path identifier the effect sees for a mask is its 1-based position.
    std::vector<HostMask> masks;

    int liveMaskHandles() const { return liveMasks_; }
    int liveStreams() const { return liveStreams_; }
    int liveStreamValues() const { return liveValues_; }
    int outstandingPaths() const { return outstandingPaths_; }
    // Every PF_CheckinPath call, also one handing back no path.
    int64_t pathCheckins() const { return pathCheckins_; }
    // Zero when every handle, stream, value and path checkout was given back.
    int outstanding() const { return liveMasks_ + liveStreams_ + liveValues_ + outstandingPaths_; }

    // Suite services (called through the static tables).
    Host& host() { return host_; }
    int liveMasks_ = 0;
    int liveStreams_ = 0;
    int liveValues_ = 0;
    int outstandingPaths_ = 0;
    int64_t pathCheckins_ = 0;

private:
    Host& host_;
};

// Registers the render suites' tables with a host (done by every Host at construction).
void registerRenderSuites(Host& host);

} // namespace headless
