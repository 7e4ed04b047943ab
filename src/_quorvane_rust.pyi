from collections.abc import Sequence

__all__: list[str]

def principal_ideal_filter_sizes(
    num_elements: int, cover_edges: Sequence[tuple[int, int]]
) -> tuple[list[int], list[int]]: ...
def zeta_summary_data(
    num_elements: int, cover_edges: Sequence[tuple[int, int]]
) -> tuple[int, list[int], list[int]]: ...
