// Wrappers of the functions of the submodule `knowledge`, in registration order.
#include "bindings/frame.h"
#include "bindings/submodules.h"

namespace qgpy {

namespace {

PyMethodDef kMethods[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* knowledge_methods() { return kMethods; }

}  // namespace qgpy
