"""The transitive successor closure in both forms, and the int method protocol
through which successor bitsets are read, step by step."""

from .order import INDEX_OUT_OF_RANGE, NOT_TOPOLOGICAL, strictly_above

COUNT_MISMATCH = "cover successor bitset count must match the element count"


def transitive_successor_closure(n, edges):
    above = strictly_above(n, edges)
    return [sorted(above[i]) for i in range(n)]


def truth(result):
    """A comparison result as the protocol accepts it."""
    kind = type(result)
    if kind is bool:
        return result
    if kind.__name__ in ("bool_", "bool") and kind.__module__ == "numpy":
        to_bool = getattr(kind, "__bool__", None)
        if to_bool is None:
            raise TypeError(f"object of type '{kind}' does not define a '__bool__' conversion")
        return bool(result)
    raise TypeError(f"'{kind.__qualname__}' object cannot be converted to 'PyBool'")


def decode(x, words):
    """One row as a list of words, or raise as the protocol does."""
    if truth(x.__lt__(0)):
        raise ValueError(INDEX_OUT_OF_RANGE)
    if truth(x.__rshift__(64 * words).__ne__(0)):
        raise ValueError(INDEX_OUT_OF_RANGE)
    data = x.to_bytes(8 * words, "little")
    if not isinstance(data, bytes):
        raise TypeError(f"'{type(data).__qualname__}' object cannot be converted to 'PyBytes'")
    return [int.from_bytes(data[k : k + 8], "little") for k in range(0, len(data) - 7, 8)]


def successor_rows(n, items):
    """Decode every item, then check the rows in order: shape, range, order."""
    if len(items) != n:
        raise ValueError(COUNT_MISMATCH)
    words = -(-n // 64)
    rows = [decode(x, words) for x in items]
    edges = []
    for i, row in enumerate(rows):
        if len(row) != words:
            raise ValueError(INDEX_OUT_OF_RANGE)
        bits = sum(word << (64 * k) for k, word in enumerate(row))
        if bits >> n:
            raise ValueError(INDEX_OUT_OF_RANGE)
        if bits & ((2 << i) - 1):
            raise ValueError(NOT_TOPOLOGICAL)
        edges += [(i, j) for j in range(n) if bits >> j & 1]
    return edges


def transitive_successor_closure_bitsets(n, items):
    above = strictly_above(n, successor_rows(n, list(items)))
    return [sum(1 << j for j in above[i]) for i in range(n)]
