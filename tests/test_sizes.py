import _quorvane_rust as q
import pytest
from hypothesis import given, settings

from model import sizes as model
from strategies import chain, edge_lists, outcome, posets


@pytest.mark.cross
@given(posets())
def test_sizes_match_model(poset):
    n, edges = poset
    assert outcome(q.principal_ideal_filter_sizes, n, edges) == outcome(model.principal_ideal_filter_sizes, n, edges)
    assert outcome(q.zeta_summary_data, n, edges) == outcome(model.zeta_summary_data, n, edges)


@settings(max_examples=12)
@given(posets(max_n=400, min_n=129))
def test_sizes_of_orders_of_many_row_groups_match_model(poset):
    # Rows reach the column counts sixteen at a time, the last group made up
    # with empty rows; counts of 256 and more carry into the higher planes.
    n, edges = poset
    assert outcome(q.zeta_summary_data, n, edges) == outcome(model.zeta_summary_data, n, edges)


@given(edge_lists())
def test_invalid_edges_match_model(poset):
    n, edges = poset
    assert outcome(q.zeta_summary_data, n, edges) == outcome(model.zeta_summary_data, n, edges)


@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (0, [], (0, [], [])),
        (4, [], (0, [1, 1, 1, 1], [1, 1, 1, 1])),
        (*chain(5), (10, [1, 2, 3, 4, 5], [5, 4, 3, 2, 1])),
        (3, [(0, 2), (1, 2)], (2, [1, 1, 3], [2, 2, 1])),
        (3, [(0, 1), (1, 2), (0, 2), (0, 1)], (3, [1, 2, 3], [3, 2, 1])),
    ],
)
def test_examples(n, edges, expected):
    assert q.zeta_summary_data(n, edges) == expected
    assert q.principal_ideal_filter_sizes(n, edges) == expected[1:]


def test_sizes_of_a_long_chain_cross_words():
    n, edges = chain(300)
    pairs, ideal, filter_ = q.zeta_summary_data(n, edges)
    assert pairs == n * (n - 1) // 2
    assert ideal == list(range(1, n + 1))
    assert filter_ == list(range(n, 0, -1))
