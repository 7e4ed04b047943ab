import math
import random
import struct

import _quorvane_rust as q
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from model import zeta as model
from model.order import INDEX_OUT_OF_RANGE
from model.zeta import VALUE_COUNT
from strategies import edge_lists, finite_floats, outcome, posets, special_floats

TRANSFORMS = [
    (q.zeta_transform_data, model.zeta_transform_data),
    (q.strict_zeta_transform_data, model.strict_zeta_transform_data),
]
# Magnitudes that cancel, so that any other order of addition shows; NaNs of
# both signs, so that which NaN survives a sum shows too.
value_items = st.one_of(special_floats, st.sampled_from([1e16, -1e16, 1.0, -1.0, 0.5, -math.nan]), finite_floats)
# What inf + -inf gives on this machine.
INVALID_SUM = math.inf - math.inf


@st.composite
def posets_with_values(draw, items=value_items):
    n, edges = draw(posets())
    return n, edges, draw(st.lists(items, min_size=n, max_size=n))


@pytest.mark.parametrize("function, reference", TRANSFORMS)
@given(posets_with_values())
def test_transforms_match_model(function, reference, case):
    assert outcome(function, *case) == outcome(reference, *case)


# An emulated CPU may pick a different one of two NaNs in a sum than the
# hardware does, which the model's plain additions follow. Finite values
# still show the order of addition, overflow and signed zeros bit for bit.
@pytest.mark.cross
@pytest.mark.parametrize("function, reference", TRANSFORMS)
@given(posets_with_values(st.one_of(st.sampled_from([1e16, -1e16, 1e308, -1e308, 0.0, -0.0, 0.5]), finite_floats)))
def test_transforms_of_finite_values_match_model(function, reference, case):
    assert outcome(function, *case) == outcome(reference, *case)


@pytest.mark.parametrize("function, reference", TRANSFORMS)
@given(edge_lists(max_n=6), st.lists(st.sampled_from([1.0, -0.0]), max_size=8))
def test_length_check_precedes_edge_validation(function, reference, poset, values):
    n, edges = poset
    assert outcome(function, n, edges, values) == outcome(reference, n, edges, values)


@pytest.mark.parametrize(
    "edges, values, zeta, strict",
    [
        ([(0, 1), (1, 2)], [1, 2, 4], [1.0, 3.0, 7.0], [0.0, 1.0, 3.0]),
        ([(0, 2), (1, 2)], [1e16, 1.0, -1e16], [1e16, 1.0, 1.0], [0.0, 0.0, 1e16]),
        ([(0, 1), (0, 1), (1, 2), (0, 2)], [1.0, 1.0, 1.0], [1.0, 2.0, 3.0], [0.0, 1.0, 2.0]),
        ([], [-0.0, 2.0, -0.0], [-0.0, 2.0, -0.0], [0.0, 0.0, 0.0]),
        ([(0, 1)], [-0.0, -0.0, 5.0], [-0.0, -0.0, 5.0], [0.0, 0.0, 0.0]),
        ([(0, 2), (1, 2)], [math.inf, -math.inf, 1.0], [math.inf, -math.inf, INVALID_SUM], [0.0, 0.0, INVALID_SUM]),
        ([(0, 2), (1, 2)], [math.inf, -math.inf, math.nan], [math.inf, -math.inf, math.nan], [0.0, 0.0, INVALID_SUM]),
        ([(0, 1), (1, 2)], [math.nan, 1.0, 1.0], [math.nan, math.nan, math.nan], [0.0, math.nan, math.nan]),
    ],
)
def test_examples(edges, values, zeta, strict):
    assert outcome(q.zeta_transform_data, 3, edges, values) == outcome(lambda: zeta)
    assert outcome(q.strict_zeta_transform_data, 3, edges, values) == outcome(lambda: strict)


def test_sums_cross_word_boundaries_in_order():
    # Everything lies below element 129. With 1e16 first, each 1.0 rounds
    # away; with 1e16 last, the 1.0s add up to 128 first.
    n = 130
    edges = [(i, 129) for i in range(129)]
    assert q.zeta_transform_data(n, edges, [1e16] + [1.0] * 128 + [0.0])[129] == 1e16
    assert q.strict_zeta_transform_data(n, edges, [1.0] * 128 + [1e16, 0.0])[129] == 1e16 + 128.0


def float_from_bits(bits):
    return struct.unpack("<d", struct.pack("<Q", bits))[0]


SIGNALLING_NAN = float_from_bits(0x7FF4000000000001)


# Words of a row that hold many elements are added a whole word at a time.
# The lower 64 elements lie below most of the upper ones, which fill whole
# words and start from values of every kind; the last word is partial.
DENSE_VALUES = [
    math.nan,
    -math.nan,
    float_from_bits(0x7FF4000000000001),
    float_from_bits(0xFFF8000000000123),
    math.inf,
    -math.inf,
    -0.0,
    0.0,
    1e308,
    1e16,
    -1e16,
    5e-324,
]
FINITE_DENSE_VALUES = [-0.0, 0.0, 1e308, -1e308, 1e16, -1e16, 0.5, 5e-324]


@pytest.mark.parametrize("function, reference", TRANSFORMS)
@pytest.mark.parametrize("specials", [DENSE_VALUES, pytest.param(FINITE_DENSE_VALUES, marks=pytest.mark.cross)])
@pytest.mark.parametrize("gaps", [5, None], ids=["some pairs", "every pair"])
def test_dense_words_match_model(function, reference, specials, gaps):
    n = 200
    edges = [(i, j) for i in range(64) for j in range(64, n) if gaps is None or (i + j) % gaps]
    values = [specials[i * 7 % len(specials)] if i % 3 == 0 or i >= 64 else float(i) for i in range(n)]
    assert outcome(function, n, edges, values) == outcome(reference, n, edges, values)


@pytest.mark.parametrize("function, reference", TRANSFORMS)
@pytest.mark.parametrize("value", [-0.0, 0.0, SIGNALLING_NAN])
def test_chains_of_one_value_match_model(function, reference, value):
    # Every row of a chain marks every target above it: whole tiles of
    # terms, whose zeros keep their sign.
    n, edges = 150, [(i, i + 1) for i in range(149)]
    assert outcome(function, n, edges, [value] * n) == outcome(reference, n, edges, [value] * n)


# Sums go 32 targets to a vector tile and rows 32 to a block; a tile's rows
# up to its own targets; targets with nothing below keep their value as
# given, a signalling NaN unquieted. Sizes on both sides of those widths,
# orders from sparse to dense, and values of every kind.
TILE_SIZES = [31, 32, 33, 63, 64, 65, 95, 96, 97, 161]
TILE_VALUES = DENSE_VALUES + [SIGNALLING_NAN, 1.0, -1.0, 0.5, 1e-300, -3.75]


@st.composite
def tiled_posets_with_values(draw):
    n = draw(st.sampled_from(TILE_SIZES))
    density = draw(st.sampled_from([0.02, 0.2, 0.6]))
    rng = random.Random(draw(st.integers(0, 2**32)))
    edges = [(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < density / (j - i) ** 0.5]
    return n, edges, [rng.choice(TILE_VALUES) for _ in range(n)]


@settings(max_examples=40)
@pytest.mark.parametrize("function, reference", TRANSFORMS)
@given(tiled_posets_with_values())
def test_tiles_match_model(function, reference, case):
    assert outcome(function, *case) == outcome(reference, *case)


class FloatLike:
    def __float__(self):
        return 2.5


class IndexLike:
    def __index__(self):
        return 3


class FloatSubclass(float):
    pass


@pytest.mark.parametrize(
    "values, expected",
    [
        ([1, 2.5], [1.0, 3.5]),
        ((1.0, 2.0), [1.0, 3.0]),
        (range(2), [0.0, 1.0]),
        ([True, False], [1.0, 1.0]),
        ([FloatLike(), IndexLike()], [2.5, 5.5]),
        ([FloatSubclass(0.5), 2**53 + 1], [0.5, 0.5 + float(2**53 + 1)]),
        (b"\x01\x02", [1.0, 3.0]),
    ],
)
def test_values_accept_numbers_and_sequences(values, expected):
    result = q.zeta_transform_data(2, [(0, 1)], values)
    assert result == expected
    assert all(type(v) is float for v in result)


@pytest.mark.parametrize(
    "values, error, message",
    [
        ("12", TypeError, "argument 'values': Can't extract `str` to `Vec`"),
        (5, TypeError, "argument 'values': 'int' object cannot be converted to 'Sequence'"),
        ({1.0, 2.0}, TypeError, "argument 'values': 'set' object cannot be converted to 'Sequence'"),
        ([1.0, "2"], TypeError, "argument 'values': must be real number, not str"),
        ([None, 1.0], TypeError, "argument 'values': must be real number, not NoneType"),
        ([[1.0], [2.0]], TypeError, "argument 'values': must be real number, not list"),
        ([1.0, 10**400], OverflowError, "int too large to convert to float"),
        ([1.0], ValueError, VALUE_COUNT),
        ([1.0, 2.0, 3.0], ValueError, VALUE_COUNT),
    ],
)
@pytest.mark.parametrize("function", [q.zeta_transform_data, q.strict_zeta_transform_data])
def test_value_errors_come_before_edge_validation(function, values, error, message):
    with pytest.raises(error) as raised:
        function(2, [(5, 1)], values)
    assert type(raised.value) is error
    assert str(raised.value) == message


@pytest.mark.parametrize("function", [q.zeta_transform_data, q.strict_zeta_transform_data])
def test_edges_are_validated_once_the_length_matches(function):
    with pytest.raises(ValueError, match=f"^{INDEX_OUT_OF_RANGE}$"):
        function(2, [(5, 1)], [1.0, 2.0])
    assert function(0, [], []) == []
    with pytest.raises(ValueError, match=f"^{VALUE_COUNT}$"):
        function(0, [], [1.0])
