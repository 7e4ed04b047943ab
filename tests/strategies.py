"""Hypothesis strategies for posets in the module's input forms."""

import math
import struct

from hypothesis import strategies as st

# Sizes that straddle the word boundaries of the bit rows.
EDGE_SIZES = [0, 1, 2, 3, 63, 64, 65, 127, 128, 129, 130]


@st.composite
def sizes(draw, max_n=140):
    return draw(
        st.one_of(
            st.integers(0, min(12, max_n)),
            st.sampled_from([s for s in EDGE_SIZES if s <= max_n]),
            st.integers(0, max_n),
        )
    )


@st.composite
def posets(draw, max_n=140, min_n=0):
    """(n, edges): topologically numbered, with redundant and repeated edges."""
    n = max(min_n, draw(sizes(max_n)))
    if n < 2:
        return n, []
    density = draw(st.sampled_from([0.0, 0.02, 0.1, 0.3, 1.0]))
    expected = density * n
    count = draw(st.integers(0, min(int(expected * 2) + 3, 4 * n)))
    edges = []
    for _ in range(count):
        lower = draw(st.integers(0, n - 2))
        upper = draw(st.integers(lower + 1, min(n - 1, lower + draw(st.sampled_from([1, 2, 5, n])))))
        edges.append((lower, upper))
    if edges and draw(st.booleans()):
        edges.append(draw(st.sampled_from(edges)))  # a repeated edge
    return n, edges


@st.composite
def edge_lists(draw, max_n=20):
    """(n, edges) that may hold out-of-range and descending edges."""
    n = draw(st.integers(0, max_n))
    index = st.integers(0, n + 2)
    edges = draw(st.lists(st.tuples(index, index), max_size=8))
    return n, edges


def chain(n):
    return n, [(i, i + 1) for i in range(n - 1)]


def float_bits(x):
    return struct.unpack("<q", struct.pack("<d", x))[0]


def canonical(value):
    """Floats by their bits, so that NaN, signed zeros and rounding all compare exactly."""
    if isinstance(value, float):
        return ("float", float_bits(value))
    if isinstance(value, (list, tuple)):
        return (type(value).__name__, [canonical(v) for v in value])
    return (type(value).__name__, value)


def outcome(function, *args, **kwargs):
    """What a call gives: its canonical result, or its exception's class and message."""
    try:
        return ("ok", canonical(function(*args, **kwargs)))
    except Exception as error:  # noqa: BLE001 - the class and message are what is compared
        return ("error", type(error).__name__, str(error))


finite_floats = st.floats(allow_nan=False, allow_infinity=False)
special_floats = st.sampled_from([0.0, -0.0, math.inf, -math.inf, math.nan, -math.nan, 1e308, -1e308, 5e-324, 1e16, 1.0])
