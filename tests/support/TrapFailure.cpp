// Linked into every test program that drives a host: a call that reaches one of the host's
// trapped slots, or a served call the host refuses as a fault of the effect's (a suite released
// that nobody holds), fails the test that made it, wherever the call came from.
#include "headless/Host.h"

#include <gtest/gtest.h>

namespace {

const bool kInstalled = [] {
    headless::Host::setTrapHandler([](const headless::SlotCall& call) {
        if (!call.fault.empty()) {
            ADD_FAILURE() << "the effect " << call.fault;
            return;
        }
        ADD_FAILURE() << "the effect called slot " << call.slot << " of " << call.table
                      << ", which it must not use";
    });
    return true;
}();

} // namespace
