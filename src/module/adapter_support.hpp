// Pieces every adapter is made of: the order preparation and the turn of a
// kernel result into a Python object or a ValueError.
#pragma once

#include "py_ref.hpp"

#include <optional>
#include <utility>

#include "errors.hpp"
#include "frame.hpp"

namespace quorvane::py {

// Converts the kernel result with to_python(value) -> PyRef, or raises its error.
template <class T, class ToPython>
PyObject* finish(KernelResult<T>&& result, ToPython&& to_python) {
    if (!result) return raise_kernel_error(result.error());
    return to_python(*std::move(result)).release();
}

// Validates the cover edges, closes them, and hands the rows to run(rows).
template <class Run>
PyObject* with_edge_rows(CallArgs& call, Run&& run) {
    KernelResult<ReachabilityRows> rows = closure::build_reachability(call.n, call.edges);
    call.edges = {};
    if (!rows) return raise_kernel_error(rows.error());
    return run(static_cast<const ReachabilityRows&>(*rows));
}

}  // namespace quorvane::py
