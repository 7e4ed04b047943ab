// Pieces every adapter is made of: the order preparation and the turn of a
// kernel result into a Python object or a ValueError.
#pragma once

#include "py_ref.hpp"

#include <optional>
#include <utility>

#include "convert_bitsets.hpp"
#include "errors.hpp"
#include "frame.hpp"

namespace quorvane::py {

// Converts the kernel result with to_python(value) -> PyRef, or raises its error.
template <class T, class ToPython>
PyObject* finish(KernelResult<T>&& result, ToPython&& to_python) {
    if (!result) return raise_kernel_error(result.error());
    return to_python(*std::move(result)).release();
}

// The length check of a per-element vector (`values` or `element_scores`);
// made before the cover edges are validated, so its error wins over theirs.
inline bool one_value_per_element(const CallArgs& call, KernelError mismatch) noexcept {
    if (call.values.size() == call.n) return true;
    return raise_kernel_error(mismatch);
}

// Validates the cover edges, closes them, and hands the rows to run(rows).
template <class Run>
PyObject* with_edge_rows(CallArgs& call, Run&& run) {
    KernelResult<ReachabilityRows> rows = closure::build_reachability(call.n, call.edges, call.interrupt);
    call.edges = {};
    if (!rows) return raise_kernel_error(rows.error());
    return run(static_cast<const ReachabilityRows&>(*rows));
}

// Decodes the successor bitsets, validates and closes them, and hands the
// rows to run(rows).
template <class Run>
PyObject* with_successor_rows(CallArgs& call, Run&& run) {
    std::optional<DecodedSuccessors> decoded = to_native_successor_rows(call.n, call.successors, call.interrupt);
    if (!decoded) return nullptr;
    call.successors.clear();
    KernelResult<ReachabilityRows> rows =
        closure::close_successor_rows(call.n, std::move(decoded->rows), call.interrupt,
                                      decoded->first_misshapen_row);
    if (!rows) return raise_kernel_error(rows.error());
    return run(static_cast<const ReachabilityRows&>(*rows));
}

}  // namespace quorvane::py
