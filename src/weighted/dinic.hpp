// Maximum flow of the split network by Dinic's algorithm.
#pragma once

#include "../common/kernel_types.hpp"
#include "split_network.hpp"

namespace quorvane::weighted {

// The flow, summed from 0.0 in the order of the augmentations. Each phase
// levels the residual graph breadth-first from the source, then repeats a
// depth-first search from the source, offered +inf, that keeps a current edge
// per node; edges are tried in insertion order, and an augmentation at or
// below the tolerance ends the phase. The float result depends on exactly this
// sequence of augmentations, so it is kept, however the scans are carried out.
[[nodiscard]] KernelResult<double> max_flow(SplitNetwork& network, InterruptPoll interrupt);

}  // namespace quorvane::weighted
