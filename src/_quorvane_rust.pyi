from collections.abc import Sequence

__all__: list[str]

def transitive_successor_closure(
    num_elements: int, cover_edges: Sequence[tuple[int, int]]
) -> list[list[int]]: ...
def transitive_successor_closure_bitsets(num_elements: int, cover_successors: Sequence[int]) -> list[int]: ...
def principal_ideal_filter_sizes(
    num_elements: int, cover_edges: Sequence[tuple[int, int]]
) -> tuple[list[int], list[int]]: ...
def zeta_summary_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]]
) -> tuple[int, list[int], list[int]]: ...
def zeta_transform_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]], values: Sequence[float]
) -> list[float]: ...
def strict_zeta_transform_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]], values: Sequence[float]
) -> list[float]: ...
def width_data(num_elements: int, cover_edges: Sequence[tuple[int, int]]) -> int: ...
def max_antichain_score_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]], element_scores: Sequence[float]
) -> float: ...
def linear_extension_count_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]], max_states: int | None = None
) -> int: ...
def interval_summary_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]]
) -> tuple[int, int, int, int, int, int, float, list[tuple[int, int]]]: ...
def mobius_matrix_data(num_elements: int, cover_edges: Sequence[tuple[int, int]]) -> list[list[int]]: ...
def lattice_layer_sizes(num_elements: int, cover_edges: Sequence[tuple[int, int]]) -> list[int]: ...
def sum_product_convolution_data(
    num_elements: int,
    cover_edges: Sequence[tuple[int, int]],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def sum_product_convolution_bitset_data(
    num_elements: int,
    cover_successors: Sequence[int],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def max_plus_convolution_data(
    num_elements: int,
    cover_edges: Sequence[tuple[int, int]],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def max_plus_convolution_bitset_data(
    num_elements: int,
    cover_successors: Sequence[int],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def min_plus_convolution_data(
    num_elements: int,
    cover_edges: Sequence[tuple[int, int]],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def min_plus_convolution_bitset_data(
    num_elements: int,
    cover_successors: Sequence[int],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def max_min_convolution_data(
    num_elements: int,
    cover_edges: Sequence[tuple[int, int]],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
def max_min_convolution_bitset_data(
    num_elements: int,
    cover_successors: Sequence[int],
    left_values: Sequence[Sequence[float]],
    right_values: Sequence[Sequence[float]],
) -> list[list[float]]: ...
