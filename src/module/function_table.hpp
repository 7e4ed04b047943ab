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
    FunctionRecord{"transitive_successor_closure", {num_elements, cover_edges}, 2, 2, adapters::transitive_successor_closure},
    FunctionRecord{"transitive_successor_closure_bitsets", {num_elements, cover_successors}, 2, 2,
                 adapters::transitive_successor_closure_bitsets},
    FunctionRecord{"principal_ideal_filter_sizes", {num_elements, cover_edges}, 2, 2, adapters::principal_ideal_filter_sizes},
    FunctionRecord{"zeta_summary_data", {num_elements, cover_edges}, 2, 2, adapters::zeta_summary_data},
    FunctionRecord{"zeta_transform_data", {num_elements, cover_edges, values}, 3, 3, adapters::zeta_transform_data},
    FunctionRecord{"strict_zeta_transform_data", {num_elements, cover_edges, values}, 3, 3,
                 adapters::strict_zeta_transform_data},
    FunctionRecord{"width_data", {num_elements, cover_edges}, 2, 2, adapters::width_data},
    FunctionRecord{"max_antichain_score_data", {num_elements, cover_edges, element_scores}, 3, 3,
                 adapters::max_antichain_score_data},
    FunctionRecord{"linear_extension_count_data", {num_elements, cover_edges, max_states}, 3, 2,
                 adapters::linear_extension_count_data},
    FunctionRecord{"interval_summary_data", {num_elements, cover_edges}, 2, 2, adapters::interval_summary_data},
    FunctionRecord{"mobius_matrix_data", {num_elements, cover_edges}, 2, 2, adapters::mobius_matrix_data},
    FunctionRecord{"lattice_layer_sizes", {num_elements, cover_edges}, 2, 2, adapters::lattice_layer_sizes},
    FunctionRecord{"sum_product_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::sum_product_convolution_data},
    FunctionRecord{"sum_product_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values},
                 4, 4, adapters::sum_product_convolution_bitset_data},
    FunctionRecord{"max_plus_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::max_plus_convolution_data},
    FunctionRecord{"max_plus_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values}, 4,
                 4, adapters::max_plus_convolution_bitset_data},
    FunctionRecord{"min_plus_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::min_plus_convolution_data},
    FunctionRecord{"min_plus_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values}, 4,
                 4, adapters::min_plus_convolution_bitset_data},
    FunctionRecord{"max_min_convolution_data", {num_elements, cover_edges, left_values, right_values}, 4, 4,
                 adapters::max_min_convolution_data},
    FunctionRecord{"max_min_convolution_bitset_data", {num_elements, cover_successors, left_values, right_values}, 4,
                 4, adapters::max_min_convolution_bitset_data},
};

}  // namespace table

using table::kFunctions;

}  // namespace quorvane::py
