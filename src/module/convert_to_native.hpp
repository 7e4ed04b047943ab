// Python arguments to native values. Every function returns false (or an empty
// optional) with a Python exception set on failure, unwrapped: the call frame
// adds the argument name.
#pragma once

#include "py_ref.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "../closure/reachability.hpp"
#include "../common/work_budget.hpp"

namespace quorvane::py {

using ValueVector = std::vector<double>;
using ValueMatrix = std::vector<ValueVector>;

// An int (or subclass) directly, anything else through __index__; 0..2^64-1.
std::optional<std::uint64_t> to_native_index(PyObject* object);

// Every item of a sequence is converted and charged to the budget, which may
// poll between items. Where the sequence's required length is known, only the
// first `kept` items are stored (a later item's conversion error still wins).

// One item past the required length: the stored prefix then has the required
// length exactly when the sequence has, and a wrong one otherwise, which is
// all that the later length checks look at. Memory stays bounded by the
// required length, however long the sequence.
constexpr std::size_t kept_for_length(std::size_t length) noexcept {
    return length == SIZE_MAX ? length : length + 1;
}

bool to_native_edges(PyObject* object, closure::CoverEdgeList& edges, WorkBudget& budget);
bool to_native_values(PyObject* object, ValueVector& values, WorkBudget& budget, std::size_t kept);
// Rows and entries within each row are both kept to kept_for_length(n).
bool to_native_matrix(PyObject* object, ValueMatrix& matrix, WorkBudget& budget, std::size_t n);
// The items of a sequence, unexamined.
bool to_native_items(PyObject* object, std::vector<PyRef>& items, WorkBudget& budget, std::size_t kept);

}  // namespace quorvane::py
