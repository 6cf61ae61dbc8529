// The per-sequence state: the host suites that rendering needs (held for the sequence's life,
// not per frame), the memory handler and plug-in identifier, the pool of render contexts its
// frames lease, and what frames share across the sequence's life. The host binding
// (effect/HostBinding.h) makes it at sequence setup and keeps it behind the sequence handle.
//
// Every piece of state that threads share, with its owner, the threads that may touch it and
// its guard, is listed in docs/architecture.md ("Shared state").
//
// A render never writes the sequence's record; the host may copy it (get-flattened) while
// frames render.
#pragma once

#include "host/HostApi.h"
#include "render/RenderContextPool.h"
#include "render/SuiteHolder.h"

#include <atomic>
#include <memory>

namespace fx {
class MemoryHandler;
} // namespace fx

// What the host binding lends a render state for its whole life: the process-wide memory handler
// and the plug-in identifier the host gave at registration. Given back last, after every block
// the state holds.
class StateBinding {
public:
    virtual ~StateBinding() = default;
    virtual fx::MemoryHandler* memoryHandler() const = 0;
    virtual AEGP_PluginID pluginId() const = 0;
};
using StateBindingMaker = std::unique_ptr<StateBinding> (*)(SPBasicSuite* basic);

struct RenderState {
    // Acquires the seven suites, then takes the binding from `bind`. Throws
    // HostError(A_Err_MISSING_SUITE) when a suite is missing, std::bad_alloc when memory runs
    // out, or whatever `bind` throws; whatever was taken by then is given back.
    RenderState(SPBasicSuite* basic, StateBindingMaker bind);
    ~RenderState();
    RenderState(const RenderState&) = delete;
    RenderState& operator=(const RenderState&) = delete;

    SPBasicSuite* basic;
    SuiteHolder<AEGP_PFInterfaceSuite1> pfInterfaceSuite;
    SuiteHolder<AEGP_LayerSuite5> layerSuite;
    SuiteHolder<AEGP_MaskSuite4> layerMaskSuite;
    SuiteHolder<PF_PathQuerySuite1> pathQuerySuite;
    SuiteHolder<PF_PathDataSuite1> pathDataSuite;
    SuiteHolder<AEGP_StreamSuite2> streamSuite;
    SuiteHolder<AEGP_MaskOutlineSuite1> maskOutlineSuite;

private:
    std::unique_ptr<StateBinding> binding_;

public:
    // As the binding lent them. Neither changes while the state lives.
    fx::MemoryHandler* const memoryHandler;
    const AEGP_PluginID pluginId;

    // The contexts the sequence's frames lease.
    RenderContextPool contexts;

    // Once the glow's blur has met a float image it stays in Gaussian mode for the rest of the
    // sequence's life. The mode belongs to the sequence, not to a context: every frame's context
    // takes it on before the glow runs, and a frame whose glow met a float image sets it. Frames
    // of one depth thus never see it change their bytes, whichever context renders them.
    mutable std::atomic<bool> glowGaussian{false};

};
