import _quorvane_rust as q
import pytest
from hypothesis import given, settings

from model import intervals as model
from model.intervals import closed_sets
from strategies import chain, edge_lists, outcome, posets


@pytest.mark.cross
@given(posets(max_n=70))
def test_matrix_matches_model(poset):
    assert outcome(q.mobius_matrix_data, *poset) == outcome(model.mobius_matrix_data, *poset)


@given(edge_lists())
def test_invalid_edges_match_model(poset):
    assert outcome(q.mobius_matrix_data, *poset) == outcome(model.mobius_matrix_data, *poset)


@settings(max_examples=20)
@given(posets(max_n=140))
def test_mobius_inverts_zeta(poset):
    n, edges = poset
    mu = q.mobius_matrix_data(n, edges)
    up, down = closed_sets(n, edges)
    for x in range(n):
        for y in up[x]:
            assert sum(mu[x][z] for z in up[x] & down[y]) == (x == y)


def layered(m):
    """A bottom, m layers of three elements each joined to the whole next layer, and a top."""
    layer = [[3 * k - 2, 3 * k - 1, 3 * k] for k in range(1, m + 1)]
    top = 3 * m + 1
    edges = [(0, v) for v in layer[0]]
    edges += [(a, b) for lower, upper in zip(layer, layer[1:]) for a in lower for b in upper]
    edges += [(v, top) for v in layer[-1]]
    return top + 1, edges


@pytest.mark.cross
@pytest.mark.parametrize("m", [1, 2, 62, 63, 64, 70, 200])
def test_values_beyond_64_bits_are_exact(m):
    n, edges = layered(m)
    mu = q.mobius_matrix_data(n, edges)
    assert mu[0][n - 1] == (-1) ** (m + 1) * 2**m
    assert mu[1][n - 1] == (-1) ** m * 2 ** (m - 1)
    assert mu[0][n - 2] == (-1) ** m * 2 ** (m - 1)


@pytest.mark.parametrize("m", [62, 63, 65])
def test_rows_mixing_narrow_and_wide_values_match_model(m):
    n, edges = layered(m)
    # An element above the bottom only keeps small entries in the wide row 0.
    edges = edges + [(0, n)]
    n += 1
    assert q.mobius_matrix_data(n, edges) == model.mobius_matrix_data(n, edges)


@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (0, [], []),
        (1, [], [[1]]),
        (3, [], [[1, 0, 0], [0, 1, 0], [0, 0, 1]]),
        (*chain(3), [[1, -1, 0], [0, 1, -1], [0, 0, 1]]),
        (3, [(0, 1), (1, 2), (0, 2)], [[1, -1, 0], [0, 1, -1], [0, 0, 1]]),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], [[1, -1, -1, 1], [0, 1, 0, -1], [0, 0, 1, -1], [0, 0, 0, 1]]),
    ],
)
def test_examples(n, edges, expected):
    assert q.mobius_matrix_data(n, edges) == expected


def test_three_atoms_between_bottom_and_top():
    mu = q.mobius_matrix_data(5, [(0, i) for i in (1, 2, 3)] + [(i, 4) for i in (1, 2, 3)])
    assert mu[0][4] == 2
