import math
import threading

import _quorvane_rust as q
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from model import antichain as model
from strategies import canonical, chain, edge_lists, outcome, posets

# Scores that make the flow's rounding visible: decimal fractions, spreads of
# magnitude, values at the tolerance, and totals that overflow.
score_values = st.one_of(
    st.integers(-3, 20).map(float),
    st.sampled_from([0.1, 0.2, 0.3, 0.7, -0.0, 1e-13, 2e-13, 1e-12, 5e-324, 1e16, 1e308, 1.7e308]),
    st.floats(-5.0, 100.0, allow_nan=False),
)


@st.composite
def scored_posets(draw, max_n):
    n, edges = draw(posets(max_n=max_n))
    return n, edges, draw(st.lists(score_values, min_size=n, max_size=n))


@st.composite
def contested_posets(draw, max_n=60):
    """Dense random orders with positive fractional scores: the flow has to
    reroute along reverse edges, and every augmentation rounds."""
    n = draw(st.integers(2, max_n))
    density = draw(st.sampled_from([0.05, 0.1, 0.2, 0.4]))
    rng = draw(st.randoms(use_true_random=False))
    edges = [(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < density]
    fractions = st.one_of(st.integers(1, 9).map(lambda k: k / 10), st.floats(0.0, 3.0))
    return n, edges, draw(st.lists(fractions, min_size=n, max_size=n))


@st.composite
def histories(draw, max_n=260):
    """Commit-history-like orders: each i joined to i + 1 and to one element a
    little ahead, so that nearly every pair is comparable and the levels of a
    phase are many and narrow."""
    n = draw(st.integers(2, max_n))
    reach = draw(st.sampled_from([2, 5, 20, 60]))
    rng = draw(st.randoms(use_true_random=False))
    edges = [(i, i + 1) for i in range(n - 1)] + [(i, i + rng.randint(1, reach)) for i in range(n - 1)]
    edges = [(i, j) for i, j in edges if j < n]
    fractions = st.one_of(st.integers(-1, 9).map(lambda k: k / 10), st.floats(0.0, 3.0))
    return n, edges, draw(st.lists(fractions, min_size=n, max_size=n))


def assert_matches_model(n, edges, scores):
    assert outcome(q.max_antichain_score_data, n, edges, scores) == outcome(
        model.max_antichain_score_data, n, edges, scores
    )


@pytest.mark.cross
@given(scored_posets(max_n=140))
def test_matches_model(poset):
    assert_matches_model(*poset)


@given(contested_posets())
def test_rerouted_flow_matches_model(poset):
    assert_matches_model(*poset)


@settings(max_examples=60)
@given(histories())
def test_nearly_total_orders_match_model(poset):
    assert_matches_model(*poset)


@settings(max_examples=12)
@given(st.sampled_from([127, 128, 129]).flatmap(lambda n: scored_posets(max_n=n).filter(lambda p: p[0] >= 120)))
def test_matches_model_across_two_words(poset):
    assert_matches_model(*poset)


@given(posets(max_n=9), st.data())
def test_integer_scores_give_the_best_antichain(poset, data):
    n, edges = poset
    scores = data.draw(st.lists(st.integers(-4, 30), min_size=n, max_size=n))
    assert q.max_antichain_score_data(n, edges, scores) == model.brute_force_score(n, edges, scores)


@given(edge_lists(), st.data())
def test_errors_match_model(poset, data):
    n, edges = poset
    length = data.draw(st.sampled_from([n, n, max(n - 1, 0), n + 1]))
    items = st.sampled_from([1.0, -2.0, math.nan, math.inf, -math.inf])
    scores = data.draw(st.lists(items, min_size=length, max_size=length))
    assert_matches_model(n, edges, scores)


@pytest.mark.parametrize(
    "n, edges, scores, expected",
    [
        (0, [], [], 0.0),
        (1, [], [5.0], 5.0),
        (1, [], [-3.0], 0.0),
        (3, [], [-1.0, -0.0, -2.5], 0.0),
        (2, [], [1e-13, 0.0], 0.0),
        (*chain(2), [1.0, 2.0], 2.0),
        (*chain(3), [1.0, 1.0, 1.0], 1.0),
        (3, [], [1.0, 2.0, 3.0], 6.0),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], [1.0, 2.0, 2.0, 1.0], 4.0),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], [5.0, 2.0, 2.0, 1.0], 5.0),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], [1.0, 2.0, 2.0, 10.0], 10.0),
        # total minus flow, rounded: 0.6000000000000001 - 0.1
        (3, [(0, 1), (0, 2)], [0.1, 0.2, 0.3], 0.5000000000000001),
        (3, [(0, 1), (0, 2)], [1, True, 2], 3.0),
        # a residual at or below 1e-12 counts as saturated, so element 1 cannot
        # route its weight to 2 unless it weighs more than the tolerance
        (3, [(0, 2), (1, 2)], [1.0, 5e-13, 2.0], 2.0000000000005),
        (3, [(0, 2), (1, 2)], [1.0, 1e-12, 2.0], 2.000000000001),
        (3, [(0, 2), (1, 2)], [1.0, 2e-12, 2.0], 2.0),
    ],
)
def test_examples(n, edges, scores, expected):
    assert canonical(q.max_antichain_score_data(n, edges, scores)) == canonical(expected)


@pytest.mark.parametrize(
    "args, error, message",
    [
        ((0, [], [1.0]), ValueError, "score vector length must match the element count"),
        ((2, [], [1.0, 2.0, 3.0]), ValueError, "score vector length must match the element count"),
        # the length check comes before the edges and the scores themselves
        ((2, [(1, 0)], [math.nan]), ValueError, "score vector length must match the element count"),
        ((2, [(0, 2)], [math.nan, 1.0]), ValueError, "cover edge index is outside the element range"),
        ((2, [(1, 0)], [1.0, math.inf]), ValueError, "cover edge indices must follow topological order"),
        ((2, [], [1.0, -math.inf]), ValueError, "element scores must be finite numbers"),
        ((1, [], [math.nan]), ValueError, "element scores must be finite numbers"),
        # conversion errors come before every check
        ((2, [(1, 0)], "12"), TypeError, "argument 'element_scores': Can't extract `str` to `Vec`"),
        ((2, [], {1.0, 2.0}), TypeError, "argument 'element_scores': 'set' object cannot be converted to 'Sequence'"),
        ((2, [], [1.0, None]), TypeError, "argument 'element_scores': must be real number, not NoneType"),
        ((1, [], [10**400]), OverflowError, "int too large to convert to float"),
    ],
)
def test_errors(args, error, message):
    with pytest.raises(error) as raised:
        q.max_antichain_score_data(*args)
    assert type(raised.value) is error
    assert str(raised.value) == message


def test_keywords_and_sequences():
    expected = q.max_antichain_score_data(3, [(0, 1)], [1.0, 2.0, 3.0])
    assert q.max_antichain_score_data(element_scores=(1, 2, 3), cover_edges=((0, 1),), num_elements=3) == expected
    assert q.max_antichain_score_data(3, [(0, 1)], range(1, 4)) == expected == 5.0


def ladder(k):
    """a_1 .. a_k below c_1 .. c_k with a_i < c_i and a_i < c_(i+1), the c numbered
    downwards: the first phase pairs each a_i with c_(i+1) and leaves a_k alone,
    so the second phase augments along one path through all 2k elements."""
    edges = [(i - 1, 2 * k - i) for i in range(1, k + 1)] + [(i - 1, 2 * k - i - 1) for i in range(1, k)]
    return 2 * k, sorted(edges)


def test_long_augmenting_path_matches_model():
    n, edges = ladder(150)
    assert_matches_model(n, edges, [0.1 * (i % 9 + 1) for i in range(n)])


def test_long_augmenting_path_needs_no_deep_stack():
    n, edges = ladder(4000)
    results = []
    previous = threading.stack_size(256 * 1024)
    try:
        thread = threading.Thread(target=lambda: results.append(q.max_antichain_score_data(n, edges, [1.0] * n)))
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    assert results == [4000.0]
