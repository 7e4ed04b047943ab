import _quorvane_rust as q
import pytest
from hypothesis import given

from model import intervals as model
from strategies import chain, edge_lists, outcome, posets


@pytest.mark.cross
@given(posets(max_n=70))
def test_summary_matches_model(poset):
    assert outcome(q.interval_summary_data, *poset) == outcome(model.interval_summary_data, *poset)


@given(edge_lists())
def test_invalid_edges_match_model(poset):
    assert outcome(q.interval_summary_data, *poset) == outcome(model.interval_summary_data, *poset)


BOOLEAN_4 = (4, [(0, 1), (0, 2), (1, 3), (2, 3)])


@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (0, [], (0, 0, 0, 0, 0, 0, 0.0, [])),
        (1, [], (1, 1, 0, 0, 1, 1, 1.0, [(1, 1)])),
        (4, [], (4, 4, 0, 0, 1, 1, 1.0, [(1, 4)])),
        (*chain(3), (6, 3, 3, 2, 1, 3, 1.6666666666666667, [(1, 3), (2, 2), (3, 1)])),
        (3, [(0, 1), (1, 2), (0, 2)], (6, 3, 3, 2, 1, 3, 1.6666666666666667, [(1, 3), (2, 2), (3, 1)])),
        (3, [(0, 2), (1, 2)], (5, 3, 2, 2, 1, 2, 1.4, [(1, 3), (2, 2)])),
        (*BOOLEAN_4, (9, 4, 5, 4, 1, 4, 1.7777777777777777, [(1, 4), (2, 4), (4, 1)])),
    ],
)
def test_examples(n, edges, expected):
    assert outcome(q.interval_summary_data, n, edges) == outcome(lambda: expected)


@pytest.mark.parametrize("n", [63, 64, 65, 130, 300])
def test_chain_intervals_have_every_size(n):
    count, trivial, proper, covers, smallest, largest, mean, histogram = q.interval_summary_data(*chain(n))
    assert (count, trivial, proper, covers, smallest, largest) == (n * (n + 1) // 2, n, count - n, n - 1, 1, n)
    assert histogram == [(s, n - s + 1) for s in range(1, n + 1)]
    assert mean == float(n * (n + 1) * (n + 2) // 6) / float(count)
