"""Module surface: registration, signatures, binding and argument conversion messages."""

import importlib
import inspect
import sys

import _quorvane_rust as q
import pytest

from signatures import FUNCTIONS, text_signature, valid_arguments

LANDED = [name for name in FUNCTIONS if hasattr(q, name)]
# Edge-form functions whose last argument is converted after the edges.
VALUE_EDGE_FUNCTIONS = [
    name for name in LANDED if FUNCTIONS[name][1] == "cover_edges" and FUNCTIONS[name][-1] not in ("cover_edges", "max_states")
]


def test_all_lists_the_functions_in_registration_order():
    assert q.__all__ == LANDED
    assert q.__doc__ == ""


@pytest.mark.parametrize("name", LANDED)
def test_function_surface(name):
    function = getattr(q, name)
    assert function.__name__ == name
    assert function.__module__ == "_quorvane_rust"
    assert function.__doc__ is None
    assert function.__text_signature__ == text_signature(FUNCTIONS[name])
    assert list(inspect.signature(function).parameters) == list(FUNCTIONS[name])


def test_reimport_returns_the_same_module():
    del sys.modules["_quorvane_rust"]
    try:
        assert importlib.import_module("_quorvane_rust") is q
    finally:
        sys.modules["_quorvane_rust"] = q


@pytest.mark.parametrize("name", LANDED)
def test_binding_messages(name):
    function = getattr(q, name)
    params = FUNCTIONS[name]
    args = valid_arguments(name)
    count = len(params)
    required = count - ("max_states" in params)
    if required == count:
        takes = f"takes {count} positional arguments"
    else:
        takes = f"takes from {required} to {count} positional arguments"
    with pytest.raises(TypeError, match=rf"^{name}\(\) {takes} but {count + 1} were given$"):
        function(*args, None, bogus=1)
    with pytest.raises(TypeError, match=rf"^{name}\(\) got multiple values for argument 'num_elements'$"):
        function(*args[:required], num_elements=2)
    with pytest.raises(TypeError, match=rf"^{name}\(\) got an unexpected keyword argument 'bogus'$"):
        function(*args, bogus=1)
    names = [f"'{p}'" for p in params[:required]]
    listed = " and ".join(names) if len(names) <= 2 else ", ".join(names[:-1]) + ", and " + names[-1]
    with pytest.raises(TypeError) as missing:
        function()
    assert str(missing.value) == f"{name}() missing {required} required positional arguments: {listed}"
    with pytest.raises(TypeError) as one_missing:
        function(*args[: required - 1])
    assert str(one_missing.value) == f"{name}() missing 1 required positional argument: '{params[required - 1]}'"
    assert function(**dict(zip(params, args))) == function(*args)


def test_missing_keyword_named_after_the_first_gap():
    with pytest.raises(TypeError, match=r"^zeta_summary_data\(\) missing 1 required positional argument: 'num_elements'$"):
        q.zeta_summary_data(cover_edges=[])


def test_one_positional_too_many_says_was():
    with pytest.raises(TypeError, match="takes 2 positional arguments but 3 were given"):
        q.zeta_summary_data(1, [], 3)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class RaisingIndex:
    def __index__(self):
        raise RuntimeError("no index")


class IntSubclass(int):
    def __index__(self):  # ignored: an int converts directly
        raise AssertionError


class TupleSubclass(tuple):
    pass


class LyingLength(list):
    def __len__(self):
        return 10**6


class FailingLength:
    def __len__(self):
        raise RuntimeError("no length")

    def __getitem__(self, i):
        if i < 2:
            return (i, i + 1)
        raise IndexError


def raising_midway():
    yield (0, 1)
    raise KeyError("midway")


class RaisingIterable(list):
    def __iter__(self):
        return raising_midway()


@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (True, [], ([1], [1])),
        (Index(2), [(0, Index(1))], ([1, 2], [2, 1])),
        (IntSubclass(2), [TupleSubclass((IntSubclass(0), 1))], ([1, 2], [2, 1])),
        (3, ((0, 1), (1, 2)), ([1, 2, 3], [3, 2, 1])),
        (2, LyingLength([(0, 1)]), ([1, 2], [2, 1])),
        (3, FailingLength(), ([1, 2, 3], [3, 2, 1])),
        (2, range(0), ([1, 1], [1, 1])),
        (2, b"", ([1, 1], [1, 1])),
        (2, [(False, True)], ([1, 2], [2, 1])),
    ],
)
def test_accepted_arguments(n, edges, expected):
    assert q.principal_ideal_filter_sizes(n, edges) == expected


@pytest.mark.parametrize(
    "n, edges, error, message",
    [
        (-1, [], OverflowError, "can't convert negative int to unsigned"),
        (2**64, [], OverflowError, "int too big to convert"),
        (2.0, [], TypeError, "argument 'num_elements': 'float' object cannot be interpreted as an integer"),
        (None, [], TypeError, "argument 'num_elements': 'NoneType' object cannot be interpreted as an integer"),
        (RaisingIndex(), [], RuntimeError, "no index"),
        (3, "01", TypeError, "argument 'cover_edges': Can't extract `str` to `Vec`"),
        (3, {(0, 1)}, TypeError, "argument 'cover_edges': 'set' object cannot be converted to 'Sequence'"),
        (3, iter([]), TypeError, "argument 'cover_edges': 'list_iterator' object cannot be converted to 'Sequence'"),
        (3, [[0, 1]], TypeError, "argument 'cover_edges': 'list' object cannot be converted to 'PyTuple'"),
        (3, [(0, 1, 2)], ValueError, "expected tuple of length 2, but got tuple of length 3"),
        (3, [()], ValueError, "expected tuple of length 2, but got tuple of length 0"),
        (3, [(0.5, 1)], TypeError, "argument 'cover_edges': 'float' object cannot be interpreted as an integer"),
        (3, [(0, -1)], OverflowError, "can't convert negative int to unsigned"),
        (3, [(0, "1")], TypeError, "argument 'cover_edges': 'str' object cannot be interpreted as an integer"),
        (3, RaisingIterable([(0, 1)]), KeyError, "'midway'"),
        (3, [(0, 5)], ValueError, "cover edge index is outside the element range"),
        (3, [(0, 2**64 - 1)], ValueError, "cover edge index is outside the element range"),
        (3, [(5, 0)], ValueError, "cover edge index is outside the element range"),
        (3, [(2, 1)], ValueError, "cover edge indices must follow topological order"),
        (3, [(1, 1)], ValueError, "cover edge indices must follow topological order"),
        (4, [(0, 9), (3, 1)], ValueError, "cover edge index is outside the element range"),
        (4, [(3, 1), (0, 9)], ValueError, "cover edge indices must follow topological order"),
        (0, [(0, 0)], ValueError, "cover edge index is outside the element range"),
    ],
)
def test_rejected_arguments(n, edges, error, message):
    with pytest.raises(error) as raised:
        q.principal_ideal_filter_sizes(n, edges)
    assert type(raised.value) is error
    assert str(raised.value) == message
    assert raised.value.args == (message,) or error is not ValueError


def test_wrapped_type_error_keeps_the_cause():
    class CausedIndex:
        def __index__(self):
            raise TypeError("inner") from KeyError("root")

    with pytest.raises(TypeError) as raised:
        q.zeta_summary_data(CausedIndex(), [])
    assert str(raised.value) == "argument 'num_elements': inner"
    assert isinstance(raised.value.__cause__, KeyError)


def test_type_error_subclass_is_not_wrapped():
    class Special(TypeError):
        pass

    class SpecialIndex:
        def __index__(self):
            raise Special("special")

    with pytest.raises(Special, match="^special$"):
        q.zeta_summary_data(SpecialIndex(), [])


# Past the budget too, where only the edge lists would be allocated: they are
# refused before the first one is, not left to fail inside the allocator.
@pytest.mark.parametrize("name", ["zeta_summary_data", "principal_ideal_filter_sizes", "width_data"])
@pytest.mark.parametrize("n", [2**63, 10**12, 2**62 - 1])
def test_huge_element_count_raises_memory_error(name, n):
    with pytest.raises(MemoryError):
        getattr(q, name)(n, [])


@pytest.mark.parametrize("name", VALUE_EDGE_FUNCTIONS)
def test_conversion_precedes_validation(name):
    args = valid_arguments(name)
    args[1] = [(0, 5)]
    args[-1] = "x"
    with pytest.raises(TypeError, match=f"^argument '{FUNCTIONS[name][-1]}': Can't extract `str` to `Vec`$"):
        getattr(q, name)(*args)
