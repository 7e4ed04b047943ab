"""Objects that misbehave in every way an argument can: for fuzzing the surface."""

from hypothesis import strategies as st


class Raising(Exception):
    pass


def _raise(*_args, **_kwargs):
    raise Raising("hostile")


class RaisingIndex:
    __index__ = _raise


class RaisingFloat:
    __float__ = _raise


class OddIndex:
    def __index__(self):
        return "not an int"


class OddFloat:
    def __float__(self):
        return 1  # not a float


class RaisingIter(list):
    __iter__ = _raise


class RaisingLen(list):
    __len__ = _raise


class LyingLen(list):
    def __len__(self):
        return 2**40


class Mutating(list):
    """Clears itself while being iterated."""

    def __iter__(self):
        for i, item in enumerate(list.__iter__(self)):
            if i == 1:
                self.clear()
            yield item


class OddInt(int):
    """An int whose protocol methods lie or raise."""

    def __lt__(self, other):
        return NotImplemented

    def __rshift__(self, other):
        return OddInt(-1)

    def __ne__(self, other):
        return 1

    def to_bytes(self, *args, **kwargs):
        return "not bytes"


class RaisingInt(int):
    __lt__ = _raise
    __rshift__ = _raise
    to_bytes = _raise


class ShortBytes(int):
    def to_bytes(self, length, order):
        return b"\x01" * (length // 2 + 1)


class FloatSub(float):
    pass


class TupleSub(tuple):
    pass


# Integers are small or far too large to allocate for: a mid-sized element
# count would make a legitimately huge result, which is not what is tested here.
scalars = st.one_of(
    st.integers(-300, 300),
    st.integers(2**40, 2**70),
    st.integers(-(2**70), -(2**40)),
    st.sampled_from([63, 64, 65, 127, 128, 129, 2**63, 2**64 - 1, 2**64, True, False]),
    st.floats(),
    st.none(),
    st.text(max_size=3),
    st.binary(max_size=3),
    st.builds(RaisingIndex),
    st.builds(RaisingFloat),
    st.builds(OddIndex),
    st.builds(OddFloat),
    st.builds(OddInt, st.integers(0, 20)),
    st.builds(RaisingInt, st.integers(0, 20)),
    st.builds(ShortBytes, st.integers(0, 2**70)),
    st.builds(FloatSub, st.floats()),
)


def containers(inner):
    return st.one_of(
        st.lists(inner, max_size=6),
        st.lists(inner, max_size=6).map(tuple),
        st.lists(inner, max_size=6).map(TupleSub),
        st.lists(inner, max_size=6).map(RaisingIter),
        st.lists(inner, max_size=6).map(RaisingLen),
        st.lists(inner, max_size=6).map(LyingLen),
        st.lists(inner, max_size=6).map(Mutating),
        st.sets(st.integers(0, 5), max_size=3),
        st.dictionaries(st.integers(0, 3), inner, max_size=3),
        st.lists(inner, max_size=4).map(iter),
    )


junk = st.recursive(scalars, containers, max_leaves=12)
