// The host binding of a render state: the process-wide instance count, and with the first live
// state the memory handler and the AEGP registration.
#pragma once

#include "host/HostApi.h"
#include "render/RenderState.h"

#include <memory>

// Holds one share of the instance count. Giving it back restores the count (and drops the
// handler with the last one), also when a state's creation fails half way.
class InstanceToken final : public StateBinding {
public:
    explicit InstanceToken(SPBasicSuite* basic);
    ~InstanceToken() override;
    InstanceToken(const InstanceToken&) = delete;
    InstanceToken& operator=(const InstanceToken&) = delete;

    // As they were when the token was taken.
    fx::MemoryHandler* memoryHandler() const override { return memoryHandler_; }
    AEGP_PluginID pluginId() const override { return pluginId_; }

private:
    fx::MemoryHandler* memoryHandler_ = nullptr;
    AEGP_PluginID pluginId_ = 0;
};

// A new render state bound to this library's memory handler and registration. Throws as
// RenderState's constructor does.
std::unique_ptr<RenderState> makeRenderState(SPBasicSuite* basic);
