// One adapter per module function: preparation, kernel, result conversion.
// Defined in adapters_<subsystem>.cpp.
#pragma once

#include "frame.hpp"

namespace quorvane::py::adapters {

PyObject* transitive_successor_closure(CallArgs& call);
PyObject* transitive_successor_closure_bitsets(CallArgs& call);
PyObject* principal_ideal_filter_sizes(CallArgs& call);
PyObject* zeta_summary_data(CallArgs& call);
PyObject* zeta_transform_data(CallArgs& call);
PyObject* strict_zeta_transform_data(CallArgs& call);
PyObject* width_data(CallArgs& call);
PyObject* max_antichain_score_data(CallArgs& call);
PyObject* linear_extension_count_data(CallArgs& call);
PyObject* interval_summary_data(CallArgs& call);
PyObject* mobius_matrix_data(CallArgs& call);
PyObject* lattice_layer_sizes(CallArgs& call);
PyObject* sum_product_convolution_data(CallArgs& call);
PyObject* sum_product_convolution_bitset_data(CallArgs& call);
PyObject* max_plus_convolution_data(CallArgs& call);
PyObject* max_plus_convolution_bitset_data(CallArgs& call);
PyObject* min_plus_convolution_data(CallArgs& call);
PyObject* min_plus_convolution_bitset_data(CallArgs& call);
PyObject* max_min_convolution_data(CallArgs& call);
PyObject* max_min_convolution_bitset_data(CallArgs& call);

}  // namespace quorvane::py::adapters
