// Wrappers of the structure functions of `algorithms`: bridges, articulation points, matchings, cliques, density, bipartiteness.
#include "bindings/frame.h"
#include "bindings/submodules.h"

namespace qgpy {

namespace {

PyMethodDef kMethods[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* algorithms_structure_methods() { return kMethods; }

}  // namespace qgpy
