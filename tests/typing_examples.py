"""Calls checked by mypy --strict against the module's stub (see test_stub.py)."""

import _quorvane_rust as q

edges: list[tuple[int, int]] = [(0, 1), (1, 2)]
bitsets = [6, 4, 0]
matrix = [[1.0, 2.0, 3.0]] * 3

above: list[list[int]] = q.transitive_successor_closure(3, edges)
above_bits: list[int] = q.transitive_successor_closure_bitsets(3, bitsets)
ideals, filters = q.principal_ideal_filter_sizes(3, edges)
pairs, ideal_sizes, filter_sizes = q.zeta_summary_data(3, tuple(edges))
zeta: list[float] = q.zeta_transform_data(3, edges, [1.0, 2, 3.5])
strict: list[float] = q.strict_zeta_transform_data(num_elements=3, cover_edges=edges, values=(1.0, 2.0, 3.0))
width: int = q.width_data(3, edges)
score: float = q.max_antichain_score_data(3, edges, [1.0, 2.0, 3.0])
extensions: int = q.linear_extension_count_data(3, edges)
capped: int = q.linear_extension_count_data(3, edges, max_states=None) + q.linear_extension_count_data(3, edges, 10)
count, trivial, proper, covers, smallest, largest, mean, histogram = q.interval_summary_data(3, edges)
mean_value: float = mean
histogram_items: list[tuple[int, int]] = histogram
mobius: list[list[int]] = q.mobius_matrix_data(3, edges)
layers: list[int] = q.lattice_layer_sizes(3, edges)
products: list[list[float]] = q.sum_product_convolution_data(3, edges, matrix, matrix)
products_bits: list[list[float]] = q.sum_product_convolution_bitset_data(3, bitsets, matrix, matrix)
longest: list[list[float]] = q.max_plus_convolution_data(3, edges, matrix, matrix)
longest_bits: list[list[float]] = q.max_plus_convolution_bitset_data(3, bitsets, matrix, matrix)
shortest: list[list[float]] = q.min_plus_convolution_data(3, edges, matrix, matrix)
shortest_bits: list[list[float]] = q.min_plus_convolution_bitset_data(3, bitsets, matrix, matrix)
bottleneck: list[list[float]] = q.max_min_convolution_data(3, edges, matrix, matrix)
bottleneck_bits: list[list[float]] = q.max_min_convolution_bitset_data(3, bitsets, matrix, matrix)
names: list[str] = q.__all__
