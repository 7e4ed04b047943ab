#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_to_python.hpp"

namespace quorvane::py::adapters {

PyObject* transitive_successor_closure(CallArgs& call) {
    return with_edge_rows(call, [&](const ReachabilityRows& rows) {
        WorkBudget budget(call.interrupt);
        return to_python_index_lists(rows, budget).release();
    });
}

PyObject* transitive_successor_closure_bitsets(CallArgs& call) {
    if (!successor_count_matches(call.n, call.successors)) return nullptr;
    if (!to_checked_successor_ints(call.n, call.successors, call.interrupt)) return nullptr;
    std::vector<PyRef> closed;
    if (!close_successor_ints(call.successors, closed, call.interrupt)) return nullptr;
    return to_python_list(closed.size(), [&](std::size_t i) { return std::move(closed[i]); }).release();
}

}  // namespace quorvane::py::adapters
