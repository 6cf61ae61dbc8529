// The host's multi-frame mode for one effect instance: the instance (the "UI" host) keeps its
// own sequence data, and the host copies it for rendering through get-flattened (command 28, on
// the UI side) and a resetup of the flat copy on the render side. Any number of threads then
// render frames of that one render copy at once, each through a render-side host of its own,
// with in_data->sequence_data null: the render reads the copy through the sequence data suite.
// All of them share the instance's compute cache. The copy is set down when it is replaced or
// when the renderer ends.
//
// No lock of the renderer is held while the effect runs.
#pragma once

#include "headless/Host.h"
#include "headless/Worlds.h"

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace headless {

class MultiFrameRenderer {
public:
    // The instance must be set up (parameters and sequence) and outlive the renderer.
    explicit MultiFrameRenderer(Host& ui);
    // Sets the render copy down if it is still live.
    ~MultiFrameRenderer();
    MultiFrameRenderer(const MultiFrameRenderer&) = delete;
    MultiFrameRenderer& operator=(const MultiFrameRenderer&) = delete;

    // Copies the instance for rendering, as the host does before the first render and after a
    // parameter change: get-flattened on the instance (on the calling thread), then the render
    // side takes the instance's current parameters and masks, a copy made before is set down,
    // and the flat copy is resetup (with PF_InFlag_PROJECT_IS_RENDER_ONLY when `renderOnly`).
    // Not to be called while frames render. Returns the first error.
    PF_Err copyInstance(bool renderOnly = false);
    // Sets the render copy down (a no-op without one). Not while frames render.
    PF_Err setdownCopy();
    // The live render copy's sequence handle (null without one).
    PF_Handle renderCopy() const { return copy_; }

    // Smart pre-render and smart render of one frame on the calling thread, through that
    // thread's render-side host; any number of threads may call it at once.
    PF_Err renderSmart(HostWorld& input, HostWorld& output, int bitdepth, A_long time = 0);

    // This thread's render-side host with the instance's parameter values and masks copied in
    // afresh, for a caller that gives the frame values of its own before rendering through it
    // (the host evaluates parameters and masks at each frame's time). Any number of threads
    // at once; the instance must not change meanwhile.
    Host& frameHost();

    struct Frame {
        HostWorld* input = nullptr;
        HostWorld* output = nullptr;
        int bitdepth = 8;
        A_long time = 0;
        PF_Err result = PF_Err_NONE;
    };
    // Renders the frames on `threads` threads at once; each thread takes the next frame in
    // the vector's order. Results land in the frames; returns the first error in that order.
    PF_Err renderFrames(std::vector<Frame>& frames, int threads);

    // --- accounting over the render side ---------------------------------------------------
    // The host that resetup and set the copy down (it counts what they allocated).
    Host& copyHost() { return *copyHost_; }
    // Every render-side host so far, the copy host first. Not while frames render.
    std::vector<Host*> renderHosts();
    int liveHandles();
    int outstandingSuites();
    std::vector<SlotCall> traps();
    std::vector<std::string> protocolFaults();

private:
    Host& threadHost();

    Host& ui_;
    std::unique_ptr<Host> copyHost_;
    PF_Handle copy_ = nullptr;
    std::mutex hostsMutex_; // guards threadHosts_ only, never held while the effect runs
    std::vector<std::pair<std::thread::id, std::unique_ptr<Host>>> threadHosts_;
};

} // namespace headless
