// One adapter per module function: preparation, kernel, result conversion.
// Defined in adapters_<subsystem>.cpp.
#pragma once

#include "frame.hpp"

namespace quorvane::py::adapters {

PyObject* principal_ideal_filter_sizes(CallArgs& call);
PyObject* zeta_summary_data(CallArgs& call);

}  // namespace quorvane::py::adapters
