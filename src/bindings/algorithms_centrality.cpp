// Wrappers of the centrality functions of `algorithms`: degree, closeness, betweenness, eigenvector centrality and PageRank.
#include "bindings/frame.h"
#include "bindings/submodules.h"

namespace qgpy {

namespace {

PyMethodDef kMethods[] = {
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyMethodDef* algorithms_centrality_methods() { return kMethods; }

}  // namespace qgpy
