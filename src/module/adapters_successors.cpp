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
    return with_successor_rows(call, [&](const ReachabilityRows& rows) {
        WorkBudget budget(call.interrupt);
        return to_python_list(rows.size(), [&](std::size_t i) {
                   PyRef bits = to_python_words(rows.row(i), false);
                   if (bits && budget.charge(rows.words())) return PyRef();
                   return bits;
               })
            .release();
    });
}

}  // namespace quorvane::py::adapters
