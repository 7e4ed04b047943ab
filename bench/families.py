"""Seeded members of the poset families that the counting functions meet.

FAMILIES[name](n, seed) returns (n, edges), topologically numbered. The seed
picks both the random draw and a shape parameter (density, layer count, grid
shape, ...), so that a few seeds per size cover the family's range.
"""

import itertools
import random


def _rng(name, n, seed):
    return random.Random(f"{name}/{n}/{seed}")


def random_order(n, seed):
    """Each pair i < j related with probability c / n, c in (1, 2, 4, 8)."""
    rng = _rng("random", n, seed)
    p = min(1.0, (1, 2, 4, 8)[seed % 4] / n)
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < p]


def two_layer(n, seed):
    """Lower half below upper half, each lower-upper pair an edge with probability 0.04 to 0.3."""
    rng = _rng("two_layer", n, seed)
    p = (0.04, 0.08, 0.15, 0.3)[seed % 4]
    lower = n // 2
    return n, [(i, j) for i in range(lower) for j in range(lower, n) if rng.random() < p]


def interval_order(n, seed):
    """x < y when interval x ends before interval y starts; lengths scale with the seed."""
    rng = _rng("interval", n, seed)
    spread = (0.05, 0.1, 0.2, 0.4)[seed % 4]
    intervals = []
    for _ in range(n):
        left = rng.random()
        intervals.append((left + rng.random() * spread, left))
    intervals.sort()  # by right end: a topological numbering
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if intervals[i][0] < intervals[j][1]]


def two_dimensional(n, seed):
    """The intersection of the natural order and a random permutation."""
    rng = _rng("two_dimensional", n, seed)
    rank = list(range(n))
    rng.shuffle(rank)
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if rank[i] < rank[j]]


def _parents(n, rng, root_probability):
    return [None if i == 0 or rng.random() < root_probability else rng.randrange(i) for i in range(n)]


def _oriented(n, parent, seed):
    """Roots at the bottom for even seeds, at the top for odd ones."""
    edges = [(p, i) for i, p in enumerate(parent) if p is not None]
    if seed % 2:
        edges = [(n - 1 - i, n - 1 - p) for p, i in edges]
    return n, edges


def rooted_tree(n, seed):
    rng = _rng("tree", n, seed)
    return _oriented(n, _parents(n, rng, 0.0), seed)


def forest(n, seed):
    rng = _rng("forest", n, seed)
    return _oriented(n, _parents(n, rng, 0.1), seed)


def series_parallel(n, seed):
    """A random binary composition tree over n singletons, series or parallel at each node."""
    rng = _rng("series_parallel", n, seed)
    edges = []
    # Each task is a block of consecutive elements; series joins maxima of the
    # left block to minima of the right one (redundant edges would be fine too).
    minima, maxima, splits = {}, {}, {}
    stack = [(0, n, False)]
    while stack:
        start, stop, combine = stack.pop()
        if stop - start == 1:
            minima[start, stop] = maxima[start, stop] = [start]
            continue
        if not combine:
            split = rng.randrange(start + 1, stop)
            stack.append((start, stop, True))
            stack.append((start, split, False))
            stack.append((split, stop, False))
            splits[start, stop] = split
            continue
        split = splits[start, stop]
        left, right = (start, split), (split, stop)
        if rng.random() < 0.5:
            edges.extend((a, b) for a in maxima[left] for b in minima[right])
            minima[start, stop], maxima[start, stop] = minima[left], maxima[right]
        else:
            minima[start, stop] = minima[left] + minima[right]
            maxima[start, stop] = maxima[left] + maxima[right]
    return n, edges


def _shapes(n):
    """Chain lengths whose product is n, from flat to cubic."""
    two = [(2, n // 2)] if n % 2 == 0 else [(1, n)]
    factor_pairs = [(a, n // a) for a in range(2, int(n**0.5) + 1) if n % a == 0]
    square = [factor_pairs[-1]] if factor_pairs else two
    cube = [(2,) * (n.bit_length() - 1)] if n & (n - 1) == 0 else [(2, 2, n // 4)] if n % 4 == 0 else two
    middle = [factor_pairs[len(factor_pairs) // 2]] if factor_pairs else two
    return two + square + middle + cube


def chain_product(n, seed):
    """A product of chains with n elements in all: 2 x n/2, near-square grids, Boolean-like cubes."""
    shape = _shapes(n)[seed % 4]
    index = {point: k for k, point in enumerate(itertools.product(*(range(s) for s in shape)))}
    edges = []
    for point, k in index.items():
        for axis in range(len(shape)):
            if point[axis] + 1 < shape[axis]:
                edges.append((k, index[point[:axis] + (point[axis] + 1,) + point[axis + 1:]]))
    return n, edges


def disjoint_union(n, seed):
    """2 to 8 components, each a chain, an antichain or a random order."""
    rng = _rng("union", n, seed)
    parts = (2, 3, 5, 8)[seed % 4]
    sizes = [n // parts + (k < n % parts) for k in range(parts)]
    edges, start = [], 0
    for size in sizes:
        kind = rng.randrange(3)
        if kind == 0:
            edges += [(start + i, start + i + 1) for i in range(size - 1)]
        elif kind == 2:
            edges += [(start + i, start + j) for i in range(size) for j in range(i + 1, size) if rng.random() < 3 / size]
        start += size
    return n, edges


def layered(n, seed):
    """3 to 12 layers; each element joined to each of the next layer's with probability 3 / layer size."""
    rng = _rng("layered", n, seed)
    layers = (3, 5, 8, 12)[seed % 4]
    bounds = [n * k // layers for k in range(layers + 1)]
    edges = []
    for k in range(layers - 1):
        here, above = range(bounds[k], bounds[k + 1]), range(bounds[k + 1], bounds[k + 2])
        p = min(1.0, 3 / max(len(above), 1))
        edges += [(a, b) for a in here for b in above if rng.random() < p]
    return n, edges


def chain_plus_free(n, seed):
    """A chain of n/4 to 3n/4 elements and free elements spread through the numbering."""
    rng = _rng("chain_free", n, seed)
    length = n * (1, 2, 3, 2)[seed % 4] // 4
    chain = sorted(rng.sample(range(n), length))
    return n, list(zip(chain, chain[1:]))


FAMILIES = {
    "random": random_order,
    "two-layer": two_layer,
    "interval": interval_order,
    "2-dimensional": two_dimensional,
    "tree": rooted_tree,
    "forest": forest,
    "series-parallel": series_parallel,
    "chain product": chain_product,
    "disjoint union": disjoint_union,
    "layered": layered,
    "chain + free": chain_plus_free,
}
