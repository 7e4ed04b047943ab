"""The module's twenty functions in registration order, with their parameters."""

EDGES = ("num_elements", "cover_edges")
SUCCESSORS = ("num_elements", "cover_successors")
MATRICES = ("left_values", "right_values")

FUNCTIONS = {
    "transitive_successor_closure": EDGES,
    "transitive_successor_closure_bitsets": SUCCESSORS,
    "principal_ideal_filter_sizes": EDGES,
    "zeta_summary_data": EDGES,
    "zeta_transform_data": (*EDGES, "values"),
    "strict_zeta_transform_data": (*EDGES, "values"),
    "width_data": EDGES,
    "max_antichain_score_data": (*EDGES, "element_scores"),
    "linear_extension_count_data": (*EDGES, "max_states"),
    "interval_summary_data": EDGES,
    "mobius_matrix_data": EDGES,
    "lattice_layer_sizes": EDGES,
    "sum_product_convolution_data": (*EDGES, *MATRICES),
    "sum_product_convolution_bitset_data": (*SUCCESSORS, *MATRICES),
    "max_plus_convolution_data": (*EDGES, *MATRICES),
    "max_plus_convolution_bitset_data": (*SUCCESSORS, *MATRICES),
    "min_plus_convolution_data": (*EDGES, *MATRICES),
    "min_plus_convolution_bitset_data": (*SUCCESSORS, *MATRICES),
    "max_min_convolution_data": (*EDGES, *MATRICES),
    "max_min_convolution_bitset_data": (*SUCCESSORS, *MATRICES),
}

OPTIONAL = {"max_states"}


def text_signature(params):
    return "(" + ", ".join(p + "=None" if p in OPTIONAL else p for p in params) + ")"


def valid_arguments(name, n=2):
    """Arguments that make a successful call on the chain 0 < 1 < ... < n - 1."""
    params = FUNCTIONS[name]
    edges = [(i, i + 1) for i in range(n - 1)]
    successors = [1 << (i + 1) if i + 1 < n else 0 for i in range(n)]
    values = {
        "num_elements": n,
        "cover_edges": edges,
        "cover_successors": successors,
        "values": [1.0] * n,
        "element_scores": [1.0] * n,
        "left_values": [[1.0] * n for _ in range(n)],
        "right_values": [[1.0] * n for _ in range(n)],
        "max_states": None,
    }
    return [values[p] for p in params]
