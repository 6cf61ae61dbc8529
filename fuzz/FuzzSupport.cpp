#include "fuzz/FuzzSupport.h"

#include "effect/Command.h"
#include "effect/MemoryManager.h"
#include "effect/SequenceCommands.h"
#include "render/RenderState.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

float Bytes::rawFloat() {
    const uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void check(bool ok, const std::string& what) {
    if (ok)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

std::unique_ptr<headless::Host> newInstance() {
    // Whatever the input, the effect calls only the host slots it is meant to.
    static const bool trapsAbort = [] {
        headless::Host::setTrapHandler([](const headless::SlotCall& call) {
            check(false, !call.fault.empty()
                             ? "the effect " + call.fault
                             : "the effect called slot " + std::to_string(call.slot) + " of " +
                                   call.table + ", which it must not use");
        });
        return true;
    }();
    (void)trapsAbort;
    auto host = std::make_unique<headless::Host>(headless::Plugin::fromCommand(&command));
    check(host->send(PF_Cmd_GLOBAL_SETUP) == PF_Err_NONE, "global setup");
    check(host->send(PF_Cmd_PARAMS_SETUP) == PF_Err_NONE, "parameter setup");
    return host;
}

void checkHoldings(headless::Host& host, int handles, const std::string& when,
                   std::initializer_list<PF_Handle> sequences) {
    const int masks = host.extension<headless::LayerMasks>().outstanding();
    // Kept results live on the heap, never in the host's handles.
    (void)sequences;
    const int kept = 0;
    check(host.liveHandles() == handles && host.lockedHandles() == kept &&
              host.outstandingCheckouts() == 0 && masks == 0,
          when + ": the host holds " + std::to_string(host.liveHandles()) + " handles (" +
              std::to_string(handles) + " expected), " + std::to_string(host.lockedHandles()) +
              " locked, " + std::to_string(host.outstandingCheckouts()) + " checkouts, " +
              std::to_string(masks) + " mask objects");
}

void checkEffectIdle(const std::string& when) {
    check(effect_globals::instanceCount() == 0 && effect_globals::memoryHandler() == nullptr,
          when + ": the effect still holds " + std::to_string(effect_globals::instanceCount()) +
              " render states");
}

} // namespace fuzz
