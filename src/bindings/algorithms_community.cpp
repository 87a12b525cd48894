// Wrappers of the community functions of `algorithms`: Louvain, label propagation and k-clique communities.
#include "bindings/frame.h"
#include "bindings/submodules.h"

namespace qgpy {

namespace {

PyMethodDef kMethods[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* algorithms_community_methods() { return kMethods; }

}  // namespace qgpy
