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
    FunctionSpec{"transitive_successor_closure", {num_elements, cover_edges}, 2, 2, adapters::transitive_successor_closure},
    FunctionSpec{"transitive_successor_closure_bitsets", {num_elements, cover_successors}, 2, 2,
                 adapters::transitive_successor_closure_bitsets},
    FunctionSpec{"principal_ideal_filter_sizes", {num_elements, cover_edges}, 2, 2, adapters::principal_ideal_filter_sizes},
    FunctionSpec{"zeta_summary_data", {num_elements, cover_edges}, 2, 2, adapters::zeta_summary_data},
    FunctionSpec{"zeta_transform_data", {num_elements, cover_edges, values}, 3, 3, adapters::zeta_transform_data},
    FunctionSpec{"strict_zeta_transform_data", {num_elements, cover_edges, values}, 3, 3,
                 adapters::strict_zeta_transform_data},
    FunctionSpec{"width_data", {num_elements, cover_edges}, 2, 2, adapters::width_data},
    FunctionSpec{"max_antichain_score_data", {num_elements, cover_edges, element_scores}, 3, 3,
                 adapters::max_antichain_score_data},
    FunctionSpec{"linear_extension_count_data", {num_elements, cover_edges, max_states}, 3, 2,
                 adapters::linear_extension_count_data},
    FunctionSpec{"interval_summary_data", {num_elements, cover_edges}, 2, 2, adapters::interval_summary_data},
    FunctionSpec{"mobius_matrix_data", {num_elements, cover_edges}, 2, 2, adapters::mobius_matrix_data},
    FunctionSpec{"lattice_layer_sizes", {num_elements, cover_edges}, 2, 2, adapters::lattice_layer_sizes},
    FunctionSpec{"sum_product_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::sum_product_convolution_data},
    FunctionSpec{"sum_product_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values},
                 4, 4, adapters::sum_product_convolution_bitset_data},
    FunctionSpec{"max_plus_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::max_plus_convolution_data},
    FunctionSpec{"max_plus_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values}, 4,
                 4, adapters::max_plus_convolution_bitset_data},
    FunctionSpec{"min_plus_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::min_plus_convolution_data},
    FunctionSpec{"min_plus_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values}, 4,
                 4, adapters::min_plus_convolution_bitset_data},
    FunctionSpec{"max_min_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::max_min_convolution_data},
    FunctionSpec{"max_min_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values}, 4,
                 4, adapters::max_min_convolution_bitset_data},
};

}  // namespace table

using table::kFunctions;

}  // namespace quorvane::py
