"""Reading successor bitsets through the int method protocol, exact ints
directly, and writing closed rows back as ints."""

import _quorvane_rust as q
import pytest
from hypothesis import given
from hypothesis import strategies as st

from isolation import run_isolated
from model import closure as model
from model.order import INDEX_OUT_OF_RANGE, NOT_TOPOLOGICAL
from strategies import outcome, sizes

closure = q.transitive_successor_closure_bitsets


class Sub(int):
    """Takes the protocol path with int's own answers."""


class Numpyish(int):
    """Answers the comparisons with numpy bools."""

    def __lt__(self, other):
        np = pytest.importorskip("numpy")
        return np.bool_(int(self) < other)

    def __rshift__(self, other):
        return Numpyish(int(self) >> other)

    def __ne__(self, other):
        np = pytest.importorskip("numpy")
        return np.bool_(int(self) != other)


def answering(**methods):
    """An int subclass whose protocol methods return fixed answers."""
    return type("Odd", (int,), {name: (lambda value: lambda *args: value)(value) for name, value in methods.items()})


class Boom(Exception):
    pass


def raising(name):
    def method(*args):
        raise Boom(name)

    return type("Raising", (int,), {name: method})


def bytes_of_length(length_of):
    return type("Sized", (int,), {"to_bytes": lambda self, length, order: b"\x00" * length_of(length)})


FakeNumpyBool = type("bool_", (), {"__module__": "numpy"})
FakeNumpyTrue = type("bool", (), {"__module__": "numpy", "__bool__": lambda self: True})
FakeOtherBool = type("bool_", (), {"__module__": "notnumpy", "__bool__": lambda self: False})


class BytesSub(bytes):
    pass


def check_against_model(n, items):
    result = outcome(closure, n, items)
    assert result == outcome(model.transitive_successor_closure_bitsets, n, items)
    return result


@st.composite
def bitset_items(draw, max_n=140):
    """(n, ints): mostly ascending successors, sometimes a bit that is out of order,
    out of range, beyond the last word, or a negative item."""
    n = draw(sizes(max_n))
    words = -(-n // 64)
    items = []
    for i in range(n):
        x = 0
        for _ in range(draw(st.integers(0, 3))):
            if i + 1 < n:
                x |= 1 << draw(st.integers(i + 1, n - 1))
        fault = draw(st.sampled_from([None] * 12 + ["low", "range", "word", "negative"]))
        if fault == "low":
            x |= 1 << draw(st.integers(0, i))
        elif fault == "range" and n % 64:
            x |= 1 << draw(st.integers(n, 64 * words - 1))
        elif fault == "word":
            x |= 1 << draw(st.integers(64 * words, 64 * words + 70))
        elif fault == "negative":
            x = -x - 1
        items.append(x)
    return n, items


@pytest.mark.cross
@given(bitset_items())
def test_exact_ints_and_protocol_agree_with_model(case):
    n, items = case
    expected = check_against_model(n, items)
    assert outcome(closure, n, [Sub(x) for x in items]) == expected
    assert outcome(closure, n, tuple(items)) == expected


@st.composite
def wide_rows(draw):
    """(n, x): one row of runs of ones and lone bits, at widths around the
    960-bit blocks in which ints are converted, often zero far below its top."""
    n = draw(st.one_of(st.sampled_from([959, 960, 961, 1919, 1920, 1921, 2048]), st.integers(2, 2100)))
    x = 0
    for _ in range(draw(st.integers(0, 6))):
        # Digit and word boundaries are where a shift goes wrong.
        boundaries = [b for b in range(30, n, 30)] + [b for b in range(64, n, 64)] or [1]
        start = draw(st.one_of(st.integers(1, n - 1), st.sampled_from(boundaries)))
        length = draw(st.sampled_from([1, 1, 29, 30, 31, 64, 200, n]))
        x |= ((1 << min(length, n - start)) - 1) << start
    return n, x


@given(wide_rows())
def test_wide_ints_pass_through_unchanged(case):
    # Successors without successors of their own close nothing: what comes
    # out is what went in, decoded and encoded again, on either path.
    n, x = case
    items = [x] + [0] * (n - 1)
    assert closure(n, items) == items
    assert closure(n, [Sub(x)] + [0] * (n - 1)) == items


@pytest.mark.parametrize("n", [64, 960, 961, 1920])
@pytest.mark.parametrize("wrap", [int, Sub], ids=["int", "subclass"])
def test_top_bit_of_the_last_word_is_the_limit(n, wrap):
    width = 64 * -(-n // 64)
    inside = (1 << (n - 1)) | 2
    assert closure(n, [wrap(inside)] + [0] * (n - 1))[0] == inside
    for beyond in (1 << width, (1 << (width + 1)) - 2, -(1 << (width - 1))):
        result = outcome(closure, n, [wrap(beyond)] + [0] * (n - 1))
        assert result == ("error", "ValueError", INDEX_OUT_OF_RANGE)


def test_rows_of_many_megabytes_close_like_small_ones():
    # Past 32 MiB the rows come from the system instead of the allocator: a
    # commit-history-like order of 16,500 elements takes 34 MB.
    n = 16_500
    items = [(1 << (i + 1)) | (1 << min(i + 1 + i % 7, n - 1)) if i + 1 < n else 0 for i in range(n)]
    expected = [((1 << n) - 1) ^ ((1 << (i + 1)) - 1) for i in range(n)]
    assert closure(n, items) == expected


@pytest.mark.parametrize("wrap", [int, Sub], ids=["int", "subclass"])
@pytest.mark.parametrize("top", [29, 30, 31, 59, 60, 61, 89, 90, 91, 119, 120, 121])
def test_rows_ending_at_digit_boundaries_close_exactly(wrap, top):
    # Rows are closed in the interpreter's 30-bit digits: the longest rows
    # end at or beside a digit's last bit, with short ones above and below.
    n = top + 3
    items = [0] * n
    for i in range(n - 1):
        items[i] = 1 << (i + 1) if i % 5 else (1 << (i + 1)) | (1 << top)
    items[top] = 1 << (top + 2)
    check_against_model(n, [wrap(x) for x in items])


@pytest.mark.parametrize(
    "items, message",
    [
        # Every item is read before any row is checked, and the lowest
        # failing row decides among the row checks.
        ([0b1, 0, -1], INDEX_OUT_OF_RANGE),
        ([0b1, 0, 1 << 64], INDEX_OUT_OF_RANGE),
        ([0b1, 1 << 3, 0], NOT_TOPOLOGICAL),
        ([0b10, 1 << 3, 0b1], INDEX_OUT_OF_RANGE),
        ([0b1, 0, None], "'NotImplementedType' object cannot be converted to 'PyBool'"),
    ],
)
def test_item_errors_come_before_row_errors(items, message):
    result = check_against_model(3, items)
    assert result[0] == "error" and result[2] == message


def test_closed_rows_that_could_not_fit_are_refused_before_any_is_made():
    # k rows reach the top of 2 * 10**7 elements: over 250 GB of ints, from
    # a few hundred megabytes of list.
    code = """
        import resource
        import _quorvane_rust as q
        n, k = 2 * 10**7, 10**5
        items = [1 << k] * k + [1 << (n - 1)] + [0] * (n - k - 1)
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        try:
            q.transitive_successor_closure_bitsets(n, items)
        except MemoryError:
            print("MemoryError", resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before < 2**20)
    """
    result = run_isolated(code, memory_limit_gb=4, cap_optional=True)
    assert result.stdout.split() == ["MemoryError", "True"], result.stderr


def test_results_up_to_a_word_are_the_interpreters_own_small_ints():
    zero, six = 0, 6
    assert closure(3, [0b110, 0b100, 0])[2] is zero
    assert closure(70, [0b110] + [0] * 69)[0] is six


@pytest.mark.parametrize("wrap", [int, Sub, Numpyish], ids=["int", "subclass", "numpy answers"])
@pytest.mark.parametrize(
    "n, items, expected",
    [
        (3, [0b110, 0b100, 0], [6, 4, 0]),
        (3, [0b010, 0b100, 0], [6, 4, 0]),
        (0, [], []),
        (3, [-1, 0, 0], INDEX_OUT_OF_RANGE),
        (3, [-(1 << 200), 0, 0], INDEX_OUT_OF_RANGE),
        (3, [1 << 64, 0, 0], INDEX_OUT_OF_RANGE),
        (3, [1 << 3, 0, 0], INDEX_OUT_OF_RANGE),
        (3, [0, 0b10, 0], NOT_TOPOLOGICAL),
        (3, [0, 0b01, 0], NOT_TOPOLOGICAL),
        (3, [0b10, 0b100, 0b1], NOT_TOPOLOGICAL),
        (64, [(1 << 64) - 2] + [0] * 63, [(1 << 64) - 2] + [0] * 63),
        (65, [1 << 64] + [0] * 64, [1 << 64] + [0] * 64),
        (65, [1 << 128] + [0] * 64, INDEX_OUT_OF_RANGE),
        (65, [(1 << 128) - 2] + [0] * 64, INDEX_OUT_OF_RANGE),
        (65, [(1 << 65) - 1] + [0] * 64, NOT_TOPOLOGICAL),
        (130, [1 << 129] + [0] * 129, [1 << 129] + [0] * 129),
        (130, [0] * 129 + [1 << 129], NOT_TOPOLOGICAL),
        (130, [1 << 130] + [0] * 129, INDEX_OUT_OF_RANGE),
    ],
)
def test_examples_on_every_path(wrap, n, items, expected):
    result = outcome(closure, n, [wrap(x) for x in items])
    if isinstance(expected, str):
        assert result == ("error", "ValueError", expected)
    else:
        assert result == outcome(lambda: expected)


def test_word_beyond_the_first_encodes_shifted():
    n = 200
    items = [0] * n
    items[0] = 0b101 << 128
    assert closure(n, items)[0] == 0b101 << 128
    assert closure(n, items)[1:] == [0] * (n - 1)


@pytest.mark.parametrize(
    "items, error",
    [
        ([None, 0], ("TypeError", "'NotImplementedType' object cannot be converted to 'PyBool'")),
        (["ab", 0], ("TypeError", "'NotImplementedType' object cannot be converted to 'PyBool'")),
        ([2.0, 0], ("AttributeError", "'float' object has no attribute '__rshift__'")),
        ([answering(__lt__=1)(0), 0], ("TypeError", "'int' object cannot be converted to 'PyBool'")),
        ([answering(__rshift__=answering(__ne__=None)(0))(0), 0], ("TypeError", "'NoneType' object cannot be converted to 'PyBool'")),
        ([True, 0], ("ValueError", NOT_TOPOLOGICAL)),  # True is the int 1
        ([answering(to_bytes=bytearray(8))(0), 0], ("TypeError", "'bytearray' object cannot be converted to 'PyBytes'")),
        ([answering(to_bytes="x")(0), 0], ("TypeError", "'str' object cannot be converted to 'PyBytes'")),
        ([answering(__lt__=FakeOtherBool())(0), 0], ("TypeError", "'bool_' object cannot be converted to 'PyBool'")),
        (
            [answering(__lt__=FakeNumpyBool())(0), 0],
            ("TypeError", "object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion"),
        ),
        ([answering(__lt__=FakeNumpyTrue())(0), 0], ("ValueError", INDEX_OUT_OF_RANGE)),
        ([answering(__lt__=False, __rshift__=Sub(1))(0), 0], ("ValueError", INDEX_OUT_OF_RANGE)),
        ([raising("__lt__")(0), 0], ("Boom", "__lt__")),
        ([raising("__rshift__")(0), 0], ("Boom", "__rshift__")),
        ([raising("to_bytes")(0), 0], ("Boom", "to_bytes")),
        # Decoding runs after binding: even a TypeError keeps its own message.
        ([0, None], ("TypeError", "'NotImplementedType' object cannot be converted to 'PyBool'")),
    ],
)
def test_protocol_failures(items, error):
    assert check_against_model(2, items) == ("error", *error)


@pytest.mark.parametrize(
    "items, expected",
    [
        ([False, False], [0, 0]),
        ([answering(to_bytes=BytesSub(b"\x02" + bytes(7)))(0), 0], [2, 0]),
        # What to_bytes tells counts, never the value an int subclass holds.
        ([answering(__lt__=False, __rshift__=0, to_bytes=b"\x02" + bytes(7))(-2), 0], [2, 0]),
        ([answering(__rshift__=0, to_bytes=b"\x02" + bytes(7))(1 << 100), 0], [2, 0]),
        ([bytes_of_length(lambda k: k + 7)(0), 0], [0, 0]),  # a partial trailing group is ignored
        ([Numpyish(2), Sub(0)], [2, 0]),
    ],
)
def test_protocol_acceptance(items, expected):
    assert check_against_model(2, items) == outcome(lambda: expected)


@pytest.mark.parametrize(
    "items, message",
    [
        # A wrong word count is reported among the row checks, in row order,
        # after every item has been decoded.
        ([bytes_of_length(lambda k: k - 1)(0), 0b1, 0], INDEX_OUT_OF_RANGE),
        ([bytes_of_length(lambda k: k + 8)(0), 0b1, 0], INDEX_OUT_OF_RANGE),
        ([0b1, bytes_of_length(lambda k: 0)(0), 0], NOT_TOPOLOGICAL),
        ([bytes_of_length(lambda k: 0)(0), 0, None], "'NotImplementedType' object cannot be converted to 'PyBool'"),
    ],
)
def test_misshapen_rows_are_reported_in_row_order(items, message):
    result = check_against_model(3, items)
    assert result[0] == "error" and result[2] == message


def test_numpy_items():
    np = pytest.importorskip("numpy")
    for items in ([np.int64(2), np.int64(0)], [np.bool_(True), np.bool_(False)], [np.uint8(2), 0]):
        result = check_against_model(2, items)
        assert result[:2] == ("error", "AttributeError") and "to_bytes" in result[2]
    assert closure(2, [Numpyish(int(np.int64(2))), 0]) == [2, 0]


@pytest.mark.parametrize(
    "n, successors, error",
    [
        (2, [0], ("ValueError", model.COUNT_MISMATCH)),
        (0, [0], ("ValueError", model.COUNT_MISMATCH)),
        (2, "01", ("TypeError", "argument 'cover_successors': Can't extract `str` to `Vec`")),
        (2, {0, 1}, ("TypeError", "argument 'cover_successors': 'set' object cannot be converted to 'Sequence'")),
        (-1, [None], ("OverflowError", "can't convert negative int to unsigned")),
        # The count is checked before any item is looked at.
        (1, [None, None], ("ValueError", model.COUNT_MISMATCH)),
    ],
)
def test_argument_and_count_errors(n, successors, error):
    assert outcome(closure, n, successors) == ("error", *error)


def test_ranges_and_keywords_are_accepted():
    assert closure(num_elements=1, cover_successors=range(1)) == [0]
    assert closure(cover_successors=(0b110, 0b100, 0), num_elements=3) == [6, 4, 0]


def test_no_reference_leak_on_any_path():
    import gc
    import sys

    calls = [
        (closure, 130, [1 << 129, *([0] * 129)]),
        (closure, 130, [Sub(1 << 129), *([0] * 129)]),
        (closure, 3, [0b110, Numpyish(0b100), 0]),
        (closure, 3, [0, 0, None]),
        (closure, 3, [-1, 0, 0]),
        (closure, 3, [Sub(-1), 0, 0]),
        (closure, 3, [1 << 64, 0, 0]),
        (closure, 3, [bytes_of_length(lambda k: 0)(0), 0, 0]),
        (closure, 3, [answering(to_bytes="x")(0), 0, 0]),
        (closure, 3, [answering(__lt__=FakeNumpyBool())(0), 0, 0]),
        (closure, 3, [raising("to_bytes")(0), 0, 0]),
        (closure, 2, [0]),
        (q.transitive_successor_closure, 70, [(i, i + 1) for i in range(69)]),
        (q.transitive_successor_closure, 3, [(0, 3)]),
    ]

    def run(times):
        for _ in range(times):
            for function, *args in calls:
                outcome(function, *args)

    run(100)
    gc.collect()
    blocks_before = sys.getallocatedblocks()
    run(1000)
    gc.collect()
    assert sys.getallocatedblocks() - blocks_before < 200
