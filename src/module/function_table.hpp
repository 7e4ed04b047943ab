// The module's functions in registration order: the method table, __all__,
// the text signatures and the binder all come from this one table.
#pragma once

#include <array>

#include "adapters.hpp"
#include "frame.hpp"

namespace quorvane::py {

namespace table {
using enum Param;

inline constexpr std::array kFunctions{
    FunctionSpec{"principal_ideal_filter_sizes", {num_elements, cover_edges}, 2, 2, adapters::principal_ideal_filter_sizes},
    FunctionSpec{"zeta_summary_data", {num_elements, cover_edges}, 2, 2, adapters::zeta_summary_data},
};

}  // namespace table

using table::kFunctions;

}  // namespace quorvane::py
