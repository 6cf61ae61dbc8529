#include "tests/support/HostFixture.h"

namespace zptest {

std::shared_ptr<headless::Plugin> effectLibrary() {
#ifdef ZP_EFFECT_LIBRARY_PATH
    static std::shared_ptr<headless::Plugin> lib =
        headless::Plugin::loadEffectLibrary(ZP_EFFECT_LIBRARY_PATH);
    return lib;
#else
    return nullptr;
#endif
}

std::unique_ptr<headless::Host> newHost() {
    return std::make_unique<headless::Host>(effectLibrary());
}

} // namespace zptest
