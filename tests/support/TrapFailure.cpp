// Linked into every test program that drives a host: a call that reaches one of the host's
// trapped slots fails the test that made it, wherever the call came from.
#include "headless/Host.h"

#include <gtest/gtest.h>

namespace {

const bool kInstalled = [] {
    headless::Host::setTrapHandler([](const headless::SlotCall& call) {
        ADD_FAILURE() << "the effect called slot " << call.slot << " of " << call.table
                      << ", which it must not use";
    });
    return true;
}();

} // namespace
