"""Seeded posets for the benchmark, all topologically numbered."""

import random as _random


def random_poset(n, c, seed=0):
    """random(n, c): each pair i < j is an edge with probability c / n."""
    rng = _random.Random(seed * 1_000_003 + n * 31 + c)
    p = c / n
    edges = []
    for i in range(n):
        # Geometric skips keep generation linear in the number of edges.
        j = i
        while True:
            r = rng.random()
            j += 1 + (int(_log1m(r) / _log1m(p)) if p < 1 else 0)
            if j >= n:
                break
            edges.append((i, j))
    return n, edges


def _log1m(x):
    import math

    return math.log1p(-x) if x < 1 else -math.inf


def chain(n):
    return n, [(i, i + 1) for i in range(n - 1)]


def disjoint_chains(count, length):
    edges = [(c * length + i, c * length + i + 1) for c in range(count) for i in range(length - 1)]
    return count * length, edges


def boolean_lattice(bits):
    n = 1 << bits
    return n, [(s, s | (1 << b)) for s in range(n) for b in range(bits) if not s & (1 << b)]


def grid(rows, cols):
    """Product of two chains; element (r, c) is r * cols + c."""
    edges = []
    for r in range(rows):
        for c in range(cols):
            v = r * cols + c
            if c + 1 < cols:
                edges.append((v, v + 1))
            if r + 1 < rows:
                edges.append((v, v + cols))
    return rows * cols, edges


def antichain(n):
    return n, []


def scores(n, seed=0):
    rng = _random.Random(seed + n)
    return [rng.uniform(-1.0, 10.0) for _ in range(n)]


def matrix(n, seed=0):
    rng = _random.Random(seed + 7 * n)
    return [[rng.uniform(-1.0, 1.0) for _ in range(n)] for _ in range(n)]
