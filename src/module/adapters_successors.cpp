#include "adapters.hpp"

#include "adapter_support.hpp"
#include "convert_bitsets.hpp"
#include "convert_to_python.hpp"

namespace quorvane::py::adapters {

PyObject* transitive_successor_closure(CallArgs& call) {
    return with_edge_rows(call, [](const ReachabilityRows& rows) { return to_python_index_lists(rows).release(); });
}

PyObject* transitive_successor_closure_bitsets(CallArgs& call) {
    return with_successor_rows(call, [](const ReachabilityRows& rows) {
        return to_python_list(rows.size(), [&](std::size_t i) { return to_python_words(rows.row(i), false); })
            .release();
    });
}

}  // namespace quorvane::py::adapters
