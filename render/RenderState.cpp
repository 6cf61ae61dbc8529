#include "render/RenderState.h"

#include <new>

namespace {

std::unique_ptr<StateBinding> bound(SPBasicSuite* basic, StateBindingMaker bind) {
    std::unique_ptr<StateBinding> binding = bind(basic);
    if (binding == nullptr)
        throw std::bad_alloc();
    return binding;
}

} // namespace

// Members acquire the seven suites in declaration order, then the binding; a failure unwinds
// what came before it, latest first.
RenderState::RenderState(SPBasicSuite* basic_suite, StateBindingMaker bind)
    : basic(basic_suite), pfInterfaceSuite(basic), layerSuite(basic), layerMaskSuite(basic),
      pathQuerySuite(basic), pathDataSuite(basic), streamSuite(basic), maskOutlineSuite(basic),
      binding_(bound(basic, bind)), memoryHandler(binding_->memoryHandler()),
      pluginId(binding_->pluginId()) {}

RenderState::~RenderState() {
    // Members go in reverse order of declaration: the contexts, then the binding, then the
    // suites, latest acquired first.
}
