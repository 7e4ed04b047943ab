// Pieces every adapter is made of: the order preparation and the turn of a
// kernel result into a Python object or a ValueError.
#pragma once

#include "py_ref.hpp"

#include <optional>
#include <utility>

#include "../closure/memory_budget.hpp"
#include "../closure/successor_lists.hpp"
#include "convert_bitsets.hpp"
#include "convert_to_python.hpp"
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

// The working memory of the order kernels in bytes: kMemoryBudgetBytes, unless
// the module's private attribute `_memory_budget` holds an int. Only the tests
// set it, to run on small orders the methods that take over past the budget.
std::size_t memory_budget(const CallArgs& call);

// The lists and their counting sort take four words per element and two per
// edge, whatever the budget: an order whose lists alone would not fit in
// memory is refused before the first of them is allocated.
inline void ensure_lists_fit(std::size_t n, std::size_t edges) {
    std::size_t words = checked_size(n, 4);
    if (__builtin_add_overflow(words, checked_size(edges, 2), &words)) throw std::bad_alloc();
    ensure_memory_fits(checked_size(words, sizeof(std::size_t)));
}

// The validated edges as lists, or nothing with the edges' error raised.
inline std::optional<closure::SuccessorLists> edge_lists(const CallArgs& call) {
    if (const std::optional<KernelError> error = closure::first_edge_error(call.n, call.edges)) {
        raise_kernel_error(*error);
        return std::nullopt;
    }
    ensure_lists_fit(call.n, call.edges.size());
    return closure::SuccessorLists(call.n, call.edges);
}

// One choice of method per call, before anything large is allocated: the
// reachability rows, handed to dense(rows), where they fit the memory budget;
// past it the validated edges as lists, handed to lists(order, budget).
template <class Dense, class Lists>
PyObject* with_edge_order(CallArgs& call, Dense&& dense, Lists&& lists) {
    const std::size_t budget = memory_budget(call);
    if (closure::dense_rows_fit(call.n, budget)) return with_edge_rows(call, dense);
    std::optional<closure::SuccessorLists> order = edge_lists(call);
    if (!order) return nullptr;
    call.edges = {};
    return lists(*order, budget);
}

// closure::block_columns, or std::bad_alloc (MemoryError) before anything is
// allocated where the order is too large even for blocks of one word.
inline std::size_t block_columns_within(std::size_t n, std::size_t budget) {
    const std::size_t columns = closure::block_columns(n, budget);
    if (columns == 0) throw std::bad_alloc();
    return columns;
}

// Decodes and checks the successor bitsets, closes them, and hands the rows
// to run(rows).
template <class Run>
PyObject* with_successor_rows(CallArgs& call, Run&& run) {
    if (!successor_count_matches(call.n, call.successors)) return nullptr;
    // Before any item is read, as a matrix that cannot be had fails at once.
    SuccessorRows given(call.n);
    if (!to_checked_successor_ints(call.n, call.successors, call.interrupt)) return nullptr;
    to_native_successor_rows(call.successors, given);
    call.successors.clear();
    KernelResult<ReachabilityRows> rows = closure::close_checked_rows(std::move(given), call.interrupt);
    if (!rows) return raise_kernel_error(rows.error());
    return run(static_cast<const ReachabilityRows&>(*rows));
}

}  // namespace quorvane::py
