from math import comb

import _quorvane_rust as q
import pytest
from hypothesis import given, settings

from model import width as model
from strategies import chain, edge_lists, outcome, posets


def boolean_lattice(bits):
    n = 1 << bits
    return n, [(s, s | 1 << b) for s in range(n) for b in range(bits) if not s & 1 << b]


def grid(rows, cols):
    edges = [(r * cols + c, r * cols + c + 1) for r in range(rows) for c in range(cols - 1)]
    edges += [(r * cols + c, (r + 1) * cols + c) for r in range(rows - 1) for c in range(cols)]
    return rows * cols, edges


def disjoint_chains(count, length):
    return count * length, [(c * length + i, c * length + i + 1) for c in range(count) for i in range(length - 1)]


@pytest.mark.cross
@given(posets(max_n=70))
def test_width_matches_model(poset):
    assert outcome(q.width_data, *poset) == outcome(model.width_data, *poset)


@pytest.mark.cross
@settings(max_examples=15)
@given(posets(max_n=140, min_n=120))
def test_width_matches_model_across_two_words(poset):
    assert q.width_data(*poset) == model.width_data(*poset)


@given(posets(max_n=10))
def test_width_is_the_largest_antichain(poset):
    assert q.width_data(*poset) == model.largest_antichain(*poset)


@given(edge_lists())
def test_invalid_edges_match_model(poset):
    assert outcome(q.width_data, *poset) == outcome(model.width_data, *poset)


@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (0, [], 0),
        (1, [], 1),
        (5, [], 5),
        (*chain(200), 1),
        (3, [(0, 2), (1, 2)], 2),
        (4, [(0, 2), (0, 3), (1, 2), (1, 3)], 2),
        (4, [(0, 2), (0, 3), (1, 2)], 2),  # the first choice must be re-routed
        (3, [(0, 1), (1, 2), (0, 2)], 1),
        (*boolean_lattice(9), comb(9, 4)),
        (*grid(30, 70), 30),
        (*disjoint_chains(65, 3), 65),
        (*disjoint_chains(3, 130), 3),
    ],
)
def test_examples(n, edges, expected):
    assert q.width_data(n, edges) == expected
