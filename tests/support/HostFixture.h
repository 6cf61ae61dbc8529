// Test helpers around the headless host with the built effect library loaded.
#pragma once

#include "headless/Host.h"

#include <memory>

namespace zptest {

// The effect library as built by this tree, loaded once per test program.
std::shared_ptr<headless::Plugin> effectLibrary();

// A fresh host for the effect library, with nothing sent yet.
std::unique_ptr<headless::Host> newHost();

} // namespace zptest
