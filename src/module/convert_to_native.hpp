// Python arguments to native values. Every function returns false (or an empty
// optional) with a Python exception set on failure, unwrapped: the call frame
// adds the argument name.
#pragma once

#include "py_ref.hpp"

#include <cstdint>
#include <optional>
#include <vector>

#include "../closure/reachability.hpp"

namespace quorvane::py {

using ValueVector = std::vector<double>;
using ValueMatrix = std::vector<ValueVector>;

// An int (or subclass) directly, anything else through __index__; 0..2^64-1.
std::optional<std::uint64_t> to_native_index(PyObject* object);

bool to_native_edges(PyObject* object, closure::CoverEdgeList& edges);
bool to_native_values(PyObject* object, ValueVector& values);
bool to_native_matrix(PyObject* object, ValueMatrix& matrix);
// The items of a sequence, unexamined.
bool to_native_items(PyObject* object, std::vector<PyRef>& items);

}  // namespace quorvane::py
