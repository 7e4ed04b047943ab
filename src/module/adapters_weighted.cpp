#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

#include "../weighted/max_antichain_score.hpp"

namespace quorvane::py::adapters {

PyObject* max_antichain_score_data(CallArgs& call) {
    if (!one_value_per_element(call, weighted::kScoreCountMismatch)) return nullptr;
    return with_edge_rows(call, [&](const ReachabilityRows& rows) {
        return finish(weighted::max_antichain_score(rows, call.values, call.interrupt),
                      [](double score) { return to_python(score); });
    });
}

}  // namespace quorvane::py::adapters
