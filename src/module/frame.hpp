// The one call frame: binds vectorcall arguments to a function's parameters,
// converts them in signature order, and runs the function's adapter, which
// prepares the order, runs the kernel and converts the result.
#pragma once

#include "py_ref.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "convert_to_native.hpp"

namespace quorvane::py {

enum class Param : std::uint8_t {
    num_elements,
    cover_edges,
    cover_successors,
    values,
    element_scores,
    left_values,
    right_values,
    max_states,
};

const char* param_name(Param param) noexcept;

// Everything a call converted; owned by the frame for the call's duration.
struct CallArgs {
    std::size_t n = 0;
    closure::CoverEdgeList edges;
    std::vector<PyRef> successors;
    ValueVector values;  // `values` or `element_scores`
    ValueMatrix left;
    ValueMatrix right;
    std::optional<std::uint64_t> max_states;
    InterruptPoll interrupt;
    PyObject* module = nullptr;  // borrowed: the module the function belongs to
};

// Returns a new reference, or nullptr with an exception set. May throw
// std::bad_alloc; the frame turns it into MemoryError.
using Adapter = PyObject* (*)(CallArgs&);

inline constexpr std::size_t kMaxParams = 4;

struct FunctionRecord {
    const char* name;
    std::array<Param, kMaxParams> params;
    std::size_t param_count;
    std::size_t required;  // the rest default to None
    Adapter run;
};

PyObject* call_frame(const FunctionRecord& function, PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;

}  // namespace quorvane::py
