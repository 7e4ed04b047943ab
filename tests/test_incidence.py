"""The four convolutions and their bitset twins against the interval-by-interval model."""

import math
import random
import sys

import _quorvane_rust as q
import pytest
from hypothesis import given
from hypothesis import strategies as st

from model import incidence as model
from model.closure import COUNT_MISMATCH
from model.incidence import INVALID_VALUE, SHAPE_MISMATCH
from model.order import INDEX_OUT_OF_RANGE
from strategies import canonical, chain, outcome, posets

SEMIRINGS = list(model.SEMIRINGS)
inf, nan = math.inf, math.nan


def edge_form(semiring):
    return getattr(q, f"{semiring}_convolution_data")


def bitset_form(semiring):
    return getattr(q, f"{semiring}_convolution_bitset_data")


def successor_bitsets(n, edges):
    successors = [0] * n
    for lower, upper in edges:
        successors[lower] |= 1 << upper
    return successors


def both_forms(semiring, n, edges, left, right):
    """The outcome of the edge form, after checking that the bitset twin agrees."""
    edge = outcome(edge_form(semiring), n, edges, left, right)
    assert outcome(bitset_form(semiring), n, successor_bitsets(n, edges), left, right) == edge
    return edge


def ok(result):
    return ("ok", canonical(result))


def error(message):
    return ("error", "ValueError", message)


SPECIALS = [0.0, -0.0, inf, -inf, inf, -inf, 1e308, -1e308, sys.float_info.max, 5e-324, 1e154, -1e154, 1.0]


def _entry(rng, palette):
    if palette == "small":  # exact sums: ties and signed zeros decide
        return rng.choice([-2.0, -1.0, -0.0, 0.0, 0.5, 1.0, 2.0])
    if palette == "wide":  # products and sums that overflow
        return math.copysign(math.ldexp(1.0 + rng.random(), rng.randint(-1074, 1023)), rng.random() - 0.5)
    return rng.uniform(-1.0, 1.0)  # rounding that depends on the summation order


@st.composite
def operands(draw, n):
    """Two n x n matrices with infinities, signed zeros and huge values; now and
    then a NaN anywhere (read or unread) or a misshapen row."""
    rng = random.Random(draw(st.integers(0, 2**32 - 1)))
    palette = draw(st.sampled_from(["small", "uniform", "wide"]))
    special_rate = draw(st.sampled_from([0.0, 0.02, 0.2, 0.6]))

    def matrix():
        return [
            [rng.choice(SPECIALS) if rng.random() < special_rate else _entry(rng, palette) for _ in range(n)]
            for _ in range(n)
        ]

    left, right = matrix(), matrix()
    if n > 0:
        for _ in range(draw(st.sampled_from([0] * 8 + [1, 2]))):
            rng.choice([left, right])[rng.randrange(n)][rng.randrange(n)] = nan
    fault = draw(st.sampled_from([None] * 36 + ["short row", "long row", "missing row", "extra row"]))
    target = rng.choice([left, right])
    if fault == "short row" and n > 0:
        target[rng.randrange(n)].pop()
    elif fault == "long row" and n > 0:
        target[rng.randrange(n)].append(0.0)
    elif fault == "missing row" and n > 0:
        target.pop(rng.randrange(n))
    elif fault == "extra row":
        target.append([0.0] * n)
    return left, right


@st.composite
def dense_posets(draw, min_n=63, max_n=66):
    """Orders whose up-sets fill most of a word, as well as the sparse ones."""
    n = draw(st.integers(min_n, max_n))
    rng = random.Random(draw(st.integers(0, 2**32 - 1)))
    p = draw(st.sampled_from([0.03, 0.1, 0.5]))
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < p]


@pytest.mark.cross
@pytest.mark.parametrize("semiring", SEMIRINGS)
@given(st.one_of(posets(max_n=24), posets(max_n=24), posets(max_n=66, min_n=63), dense_posets()), st.data())
def test_matches_model(semiring, poset, data):
    n, edges = poset
    left, right = data.draw(operands(n))
    assert both_forms(semiring, n, edges, left, right) == outcome(model.convolution, semiring, n, edges, left, right)


def uniform_matrices(n, seed):
    rng = random.Random(seed)
    return [[[rng.uniform(-1.0, 1.0) for _ in range(n)] for _ in range(n)] for _ in range(2)]


def disjoint_chains(*lengths):
    edges, start = [], 0
    for length in lengths:
        edges += [(i, i + 1) for i in range(start, start + length - 1)]
        start += length
    return start, edges


@pytest.mark.parametrize(
    "n, edges",
    [
        # Full words, and chains across the word and tile boundaries further up.
        disjoint_chains(70, 70, 70, 70, 20),
        (130, [(i, j) for i in range(130) for j in range(i + 1, min(130, i + 70)) if (i * 7 + j * 3) % 23 == 0]),
        # Long intervals with few elements: every block and tile boundary is crossed.
        (330, [(i, i + step) for step in (64, 65) for i in range(330 - step)]),
    ],
)
def test_matches_model_on_larger_orders(n, edges):
    left, right = uniform_matrices(n, seed=n)
    for semiring in SEMIRINGS:
        assert both_forms(semiring, n, edges, left, right) == ok(model.convolution(semiring, n, edges, left, right))


def dense_operands(n, seed, read_infinities):
    """Rounding-sensitive values with signed zeros and huge entries; infinities
    below the diagonal, where no term reads them, and with `read_infinities`
    also one above it in each matrix, in the first rows (so the model stops
    early)."""
    rng = random.Random(seed)
    matrices = [[[rng.uniform(-1.0, 1.0) for _ in range(n)] for _ in range(n)] for _ in range(2)]
    for matrix in matrices:
        for _ in range(n):
            x, y = sorted(rng.sample(range(n), 2))
            matrix[y][x] = rng.choice([inf, -inf])
            matrix[x][y] = rng.choice([-0.0, 0.0, 1e154, -1e154, 5e-324])
        if read_infinities:
            matrix[rng.randrange(3)][rng.randrange(3, n)] = rng.choice([inf, -inf])
    return matrices


@pytest.mark.parametrize(
    "n, edges",
    [
        # Orders whose intervals fill the range between their ends, over more
        # than one band of columns and slab of middles.
        chain(258),
        # Rows below only the top, whose terms are folded row by row, among
        # rows below all of a chain, whose terms go to tiles.
        (200, [(i, i + 1) for i in range(20, 199)] + [(i, 199 if i % 2 else 20) for i in range(20)]),
    ],
)
@pytest.mark.parametrize("read_infinities", [False, True])
def test_dense_orders_match_model(n, edges, read_infinities):
    left, right = dense_operands(n, seed=n, read_infinities=read_infinities)
    for semiring in SEMIRINGS:
        assert both_forms(semiring, n, edges, left, right) == outcome(model.convolution, semiring, n, edges, left, right)


@pytest.mark.parametrize("z", [0, 5, 60])  # a full, a partly filled and a sparse word of the chain
@pytest.mark.parametrize("semiring", ["max_plus", "min_plus"])
def test_infinities_of_both_signs_are_refused_in_every_word_layout(semiring, z):
    n, edges = chain(66)
    left, right = uniform_matrices(n, seed=z)
    left[0][z], right[z][63] = inf, -inf
    assert both_forms(semiring, n, edges, left, right) == error(INVALID_VALUE)


@pytest.mark.parametrize(
    "semiring, n, edges, left, right, expected",
    [
        ("max_min", 2, [(0, 1)], [[1.0, 2.0], [5.0, 3.0]], [[4.0, 6.0], [7.0, 8.0]], ok([[1.0, 2.0], [-inf, 3.0]])),
        ("max_plus", 2, [(0, 1)], [[1.0, 2.0], [5.0, 3.0]], [[4.0, 6.0], [7.0, 8.0]], ok([[5.0, 10.0], [-inf, 11.0]])),
        ("min_plus", 2, [(0, 1)], [[1.0, 2.0], [5.0, 3.0]], [[4.0, 6.0], [7.0, 8.0]], ok([[5.0, 7.0], [inf, 11.0]])),
        ("sum_product", 2, [(0, 1)], [[1.0, 2.0], [5.0, 3.0]], [[4.0, 6.0], [7.0, 8.0]], ok([[4.0, 22.0], [0.0, 24.0]])),
        # 0 and 1 incomparable: the interval [0, 2] skips the index between.
        ("sum_product", 3, [(0, 2), (1, 2)], [[1.0] * 3] * 3, [[1.0] * 3] * 3,
         ok([[1.0, 0.0, 2.0], [0.0, 1.0, 2.0], [0.0, 0.0, 1.0]])),
        ("max_plus", 3, [(0, 2), (1, 2)], [[1.0] * 3] * 3, [[1.0] * 3] * 3,
         ok([[2.0, -inf, 2.0], [-inf, 2.0, 2.0], [-inf, -inf, 2.0]])),
        # +inf + -inf is refused where it is read, and only there.
        ("max_plus", 2, [(0, 1)], [[inf, 0.0], [0.0, 0.0]], [[0.0, -inf], [0.0, 0.0]], error(INVALID_VALUE)),
        ("max_plus", 2, [], [[inf, 0.0], [0.0, 0.0]], [[0.0, -inf], [0.0, 0.0]], ok([[inf, -inf], [-inf, 0.0]])),
        ("min_plus", 2, [(0, 1)], [[0.0, -inf], [0.0, 0.0]], [[0.0, 0.0], [0.0, inf]], error(INVALID_VALUE)),
        ("max_plus", 1, [], [[1e308]], [[1e308]], ok([[inf]])),
        ("max_min", 2, [(0, 1)], [[inf, -inf], [0.0, inf]], [[inf, inf], [0.0, -inf]], ok([[inf, inf], [-inf, -inf]])),
        # Sum-product refuses an overflowing or NaN product and an overflowing sum.
        ("sum_product", 1, [], [[1e200]], [[1e200]], error(INVALID_VALUE)),
        ("sum_product", 1, [], [[0.0]], [[inf]], error(INVALID_VALUE)),
        ("sum_product", 2, [(0, 1)], [[1e308, 1e308], [1.0, 1.0]], [[1.0] * 2] * 2, error(INVALID_VALUE)),
        ("sum_product", 2, [], [[1.0, inf], [inf, 1.0]], [[1.0, -inf], [inf, 1.0]], ok([[1.0, 0.0], [0.0, 1.0]])),
        # Signed zeros: the sum starts at +0.0, ties keep the value met first.
        ("sum_product", 1, [], [[-0.0]], [[0.0]], ok([[0.0]])),
        ("max_min", 1, [], [[-0.0]], [[0.0]], ok([[-0.0]])),
        ("max_plus", 2, [(0, 1)], [[-0.0, 0.0], [0.0, 0.0]], [[0.0, -0.0], [0.0, 0.0]], ok([[0.0, -0.0], [-inf, 0.0]])),
        ("min_plus", 2, [(0, 1)], [[0.0, -0.0], [0.0, 0.0]], [[0.0, 0.0], [0.0, -0.0]], ok([[0.0, 0.0], [inf, 0.0]])),
    ],
)
def test_examples(semiring, n, edges, left, right, expected):
    assert both_forms(semiring, n, edges, left, right) == expected


Z2 = [[0.0] * 2] * 2
Z4 = [[0.0] * 4] * 4


@pytest.mark.parametrize("semiring", SEMIRINGS)
@pytest.mark.parametrize(
    "n, left, right, expected",
    [
        (0, [], [], ok([])),
        (0, [[]], [], error(SHAPE_MISMATCH)),
        (2, [[1.0], [1.0, 1.0]], Z2, error(SHAPE_MISMATCH)),
        (2, Z2, [[0.0] * 2] * 3, error(SHAPE_MISMATCH)),
        # Row by row, length before NaN: the first faulty row decides.
        (4, [[nan] * 4, *Z4[1:3], [0.0]], Z4, error(INVALID_VALUE)),
        (4, [[0.0], [nan] * 4, *Z4[2:]], Z4, error(SHAPE_MISMATCH)),
        # Left before right; NaN refused where it is never read.
        (2, [[0.0, 0.0], [nan, 0.0]], [[0.0]], error(INVALID_VALUE)),
        (2, Z2, [[0.0, 0.0], [nan, 0.0]], error(INVALID_VALUE)),
        (2, [[0.0], [0.0]], [[nan, 0.0]], error(SHAPE_MISMATCH)),
    ],
)
def test_operand_check(semiring, n, left, right, expected):
    assert both_forms(semiring, n, [], left, right) == expected


@pytest.mark.parametrize("semiring", SEMIRINGS)
def test_order_input_is_checked_before_the_matrices(semiring):
    assert outcome(edge_form(semiring), 3, [(0, 1)], Z2, Z2) == error(SHAPE_MISMATCH)
    assert outcome(edge_form(semiring), 3, [(0, 5)], Z2, Z2) == error(INDEX_OUT_OF_RANGE)
    assert outcome(bitset_form(semiring), 3, [0, 0], Z2, Z2) == error(COUNT_MISMATCH)
    # The matrices are converted before any bitset is decoded.
    assert outcome(bitset_form(semiring), 1, ["x"], "ab", Z2) == (
        "error", "TypeError", "argument 'left_values': Can't extract `str` to `Vec`")


@pytest.mark.parametrize("semiring", SEMIRINGS)
def test_repeated_calls_keep_allocations_flat(semiring):
    chain = [(i, i + 1) for i in range(69)]
    calls = [
        (edge_form(semiring), (70, chain, [[1.0] * 70] * 70, [[0.5] * 70] * 70)),
        (edge_form(semiring), (2, [(0, 1)], [[inf, 0.0], [0.0, 0.0]], [[0.0, -inf], [0.0, 0.0]])),
        (edge_form(semiring), (2, [], Z2, [[nan, 0.0], [0.0, 0.0]])),
        (bitset_form(semiring), (2, [2, 0], [[1e300] * 2] * 2, [[1e300] * 2] * 2)),
        (bitset_form(semiring), (2, [2, "x"], Z2, Z2)),
    ]

    def run():
        for function, args in calls:
            try:
                function(*args)
            except (TypeError, ValueError):
                pass

    for _ in range(20):
        run()
    before = sys.getallocatedblocks()
    for _ in range(200):
        run()
    assert sys.getallocatedblocks() - before < 20
