#include "max_antichain_score.hpp"

#include <cmath>
#include <vector>

#include "dinic.hpp"
#include "split_network.hpp"

namespace quorvane::weighted {

KernelResult<double> max_antichain_score(const ReachabilityRows& rows, std::span<const double> scores,
                                         InterruptPoll interrupt) {
    for (const double score : scores) {
        if (!std::isfinite(score)) return std::unexpected(kNonFiniteScore);
    }
    if (rows.size() == 0) return 0.0;
    // Only positive scores count; negative ones and -0.0 weigh +0.0.
    std::vector<double> weights(rows.size());
    double total = -0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        weights[i] = scores[i] > 0.0 ? scores[i] : 0.0;
        total += weights[i];
    }
    if (!(total > kTolerance)) return 0.0;
    SplitNetwork network(rows, weights, total + 1.0);
    const KernelResult<double> flow = max_flow(network, interrupt);
    if (!flow) return flow;
    const double score = total - *flow;
    return score > 0.0 ? score : 0.0;  // also when the difference is NaN
}

}  // namespace quorvane::weighted
