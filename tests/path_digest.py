"""Prints a digest of what every function returns on a fixed set of inputs.

    python tests/path_digest.py

One line per function: its name and a SHA-256 over its results (or errors),
floats by their bits. The module runs other code on other CPUs; every CPU
must print the same lines (scripts/cpu_paths compares them). The orders
straddle the word boundaries, and are dense and sparse, so that every variant
of every scan and fold runs.
"""

import hashlib
import math
import random
import struct
from array import array

import _quorvane_rust as q

SIZES = [0, 1, 2, 5, 63, 64, 65, 129, 200]
SPECIAL = [0.0, -0.0, math.inf, -math.inf, math.nan, 1e308, -1e308, 5e-324, 1e16, -1e16, 1.0]


def orders(rng, max_n):
    """(n, edges) of every size up to max_n: chains, antichains and random orders of three densities."""
    for n in (s for s in SIZES if s <= max_n):
        yield n, [(i, i + 1) for i in range(n - 1)]
        yield n, []
        for degree in (1.5, 6.0, n / 3 + 1):
            yield n, [(a, b) for a in range(n) for b in range(a + 1, n) if rng.random() < degree / max(n, 1)]


def successors(n, edges):
    rows = [0] * n
    for lower, upper in edges:
        rows[lower] |= 1 << upper
    return rows


def matrix(rng, n, specials):
    pool = SPECIAL[:4] + SPECIAL[5:] if specials else [rng.uniform(-4, 4) for _ in range(7)] + [0.0, -0.0]
    return [[rng.choice(pool) if rng.random() < 0.2 else rng.uniform(-1e3, 1e3) for _ in range(n)] for _ in range(n)]


def calls(rng):
    """(function name, arguments) in a fixed order."""
    for n, edges in orders(rng, max_n=200):
        for name in ("transitive_successor_closure", "principal_ideal_filter_sizes", "zeta_summary_data",
                     "width_data", "interval_summary_data", "mobius_matrix_data"):
            yield name, (n, edges)
        yield "transitive_successor_closure_bitsets", (n, successors(n, edges))
        values = [rng.choice(SPECIAL) if rng.random() < 0.3 else rng.uniform(-1e16, 1e16) for _ in range(n)]
        yield "zeta_transform_data", (n, edges, values)
        yield "strict_zeta_transform_data", (n, edges, values)
        yield "max_antichain_score_data", (n, edges, [rng.uniform(-1, 2) for _ in range(n)])
    operands = {}  # one pair of matrices per size and kind, shared by the orders of that size
    for n, edges in orders(rng, max_n=129):
        for specials in (False, True):
            if (n, specials) not in operands:
                operands[n, specials] = matrix(rng, n, specials), matrix(rng, n, specials)
            left, right = operands[n, specials]
            for semiring in ("sum_product", "max_plus", "min_plus", "max_min"):
                yield f"{semiring}_convolution_data", (n, edges, left, right)
                yield f"{semiring}_convolution_bitset_data", (n, successors(n, edges), left, right)
    for n, edges in orders(rng, max_n=65):
        if len(edges) <= 2 * n:  # the counts of dense orders are cheap, of sparse ones fast enough here
            yield "lattice_layer_sizes", (n, edges)
            yield "linear_extension_count_data", (n, edges, 100_000)


def encode(value):
    """Bytes that pin the value down exactly, floats by their bits. Results
    are homogeneous: a list whose first item is a float holds only floats."""
    if isinstance(value, float):
        return struct.pack("<d", value)
    if isinstance(value, list) and value and isinstance(value[0], float):
        return array("d", value).tobytes()
    if isinstance(value, (list, tuple)):
        return b"(" + b",".join(encode(item) for item in value) + b")"
    return repr(value).encode()


def outcome(function, args):
    try:
        return encode(function(*args))
    except Exception as error:  # noqa: BLE001 - the class and message are part of the result
        return repr((type(error).__name__, str(error))).encode()


def main():
    digests = {name: hashlib.sha256() for name in q.__all__}
    for name, args in calls(random.Random(20261207)):
        digests[name].update(outcome(getattr(q, name), args))
    for name in q.__all__:
        print(name, digests[name].hexdigest()[:16])


if __name__ == "__main__":
    main()
