import _quorvane_rust as q
import pytest
from hypothesis import given

from model import closure as model
from model.order import INDEX_OUT_OF_RANGE, NOT_TOPOLOGICAL
from strategies import chain, edge_lists, outcome, posets


def successor_ints(n, edges):
    successors = [0] * n
    for lower, upper in edges:
        successors[lower] |= 1 << upper
    return successors


@pytest.mark.cross
@given(posets())
def test_both_forms_match_model(poset):
    n, edges = poset
    lists = q.transitive_successor_closure(n, edges)
    assert lists == model.transitive_successor_closure(n, edges)
    bitsets = q.transitive_successor_closure_bitsets(n, successor_ints(n, edges))
    assert bitsets == [sum(1 << j for j in row) for row in lists]
    assert all(type(x) is int for x in bitsets)
    # The closure is its own closure.
    assert q.transitive_successor_closure_bitsets(n, bitsets) == bitsets


@given(edge_lists())
def test_invalid_edges_match_model(poset):
    n, edges = poset
    assert outcome(q.transitive_successor_closure, n, edges) == outcome(model.transitive_successor_closure, n, edges)


@pytest.mark.parametrize(
    "n, edges, lists, bitsets",
    [
        (0, [], [], []),
        (3, [], [[], [], []], [0, 0, 0]),
        (*chain(4), [[1, 2, 3], [2, 3], [3], []], [14, 12, 8, 0]),
        (3, [(0, 2), (1, 2)], [[2], [2], []], [4, 4, 0]),
        (3, [(0, 1), (1, 2), (0, 2), (0, 1)], [[1, 2], [2], []], [6, 4, 0]),
    ],
)
def test_examples(n, edges, lists, bitsets):
    assert q.transitive_successor_closure(n, edges) == lists
    assert q.transitive_successor_closure_bitsets(n, successor_ints(n, edges)) == bitsets


@pytest.mark.parametrize("n", [63, 64, 65, 130])
def test_chain_rows_span_words(n):
    lists = q.transitive_successor_closure(*chain(n))
    assert lists == [list(range(i + 1, n)) for i in range(n)]
    bitsets = q.transitive_successor_closure_bitsets(n, successor_ints(*chain(n)))
    assert bitsets == [(1 << n) - (1 << (i + 1)) for i in range(n)]


def test_index_ints_shared_between_lists_keep_their_values():
    lists = q.transitive_successor_closure(*chain(400))
    del lists[300:]
    assert lists[0][-1] == 399 and lists[299] == list(range(300, 400))


@pytest.mark.parametrize(
    "n, edges, message",
    [
        (4, [(2, 2)], NOT_TOPOLOGICAL),
        (4, [(3, 1)], NOT_TOPOLOGICAL),
        (4, [(0, 4)], INDEX_OUT_OF_RANGE),
        (0, [(0, 1)], INDEX_OUT_OF_RANGE),
        (4, [(3, 1), (0, 9)], NOT_TOPOLOGICAL),
    ],
)
def test_edge_errors(n, edges, message):
    with pytest.raises(ValueError, match=f"^{message}$"):
        q.transitive_successor_closure(n, edges)
