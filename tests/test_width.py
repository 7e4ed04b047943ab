import random
from math import comb

import _quorvane_rust as q
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

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


# Orders from this many elements try the chains along the edges before the
# rows, and build the rows only when the chains take longer than that allows.
CHAIN_TRIAL_ELEMENTS = 1 << 14


@st.composite
def lines_with_forward_joins(draw):
    """Lines side by side, element i·lines + l the i-th of line l, joined by
    edges that always move on to a later position: no two elements of one
    position are comparable, so the width is the number of lines."""
    lines = draw(st.integers(1, 64))
    length = -(-CHAIN_TRIAL_ELEMENTS // lines) + draw(st.integers(0, 50))
    rng = random.Random(draw(st.integers(0, 2**32)))
    edges = [(i * lines + l, (i + 1) * lines + l) for i in range(length - 1) for l in range(lines)]
    for _ in range(draw(st.integers(0, 3 * lines * length))):
        i = rng.randrange(length - 1)
        j = rng.randrange(i + 1, min(length, i + 4))
        edges.append((i * lines + rng.randrange(lines), j * lines + rng.randrange(lines)))
    rng.shuffle(edges)
    return lines * length, edges, lines


@settings(max_examples=10)
@given(lines_with_forward_joins())
def test_width_of_joined_lines_is_their_number(case):
    n, edges, lines = case
    assert q.width_data(n, edges) == lines


@pytest.mark.parametrize("average_degree", [4, 12])
def test_wide_orders_that_outlast_the_chains_trial_agree_with_the_chains(average_degree):
    rng = random.Random(average_degree)
    n = CHAIN_TRIAL_ELEMENTS
    edges = [(i, i + 1 + int(rng.expovariate(1 / 200)) % (n - i - 1)) for i in range(n - 1) for _ in range(average_degree)]
    from_rows = q.width_data(n, edges)
    q._memory_budget = 0
    try:
        assert q.width_data(n, edges) == from_rows
    finally:
        del q._memory_budget
