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


def two_layer(lower, upper, p, seed=0):
    """Each of `lower` minimal elements below each of `upper` maximal ones with probability p."""
    rng = _random.Random(f"two_layer/{lower}/{upper}/{p}/{seed}")
    n = lower + upper
    return n, [(i, j) for i in range(lower) for j in range(lower, n) if rng.random() < p]


def antichain(n):
    return n, []


def scores(n, seed=0):
    rng = _random.Random(seed + n)
    return [rng.uniform(-1.0, 10.0) for _ in range(n)]


def matrix(n, seed=0):
    rng = _random.Random(seed + 7 * n)
    return [[rng.uniform(-1.0, 1.0) for _ in range(n)] for _ in range(n)]


def commit_dag(n, reach=60, seed=0):
    """A commit-history-like DAG: each i joined to i + 1 and to one random element up to `reach` ahead."""
    rng = _random.Random(seed * 1_000_003 + n)
    edges = [(i, i + 1) for i in range(n - 1)]
    for i in range(n - 1):
        j = i + rng.randint(1, reach)
        if j < n:
            edges.append((i, j))
    return n, edges


def branching_commits(n, lines=200, merge=0.1, seed=0):
    """A commit history of `lines` lines of development side by side: each
    commit extends a random line, and some merge in the head of another."""
    rng = _random.Random(seed * 1_000_003 + n * 13 + lines)
    heads = list(range(min(lines, n)))
    edges = []
    for i in range(len(heads), n):
        line = rng.randrange(lines)
        edges.append((heads[line], i))
        if rng.random() < merge:
            other = heads[rng.randrange(lines)]
            if other != heads[line]:
                edges.append((other, i))
        heads[line] = i
    return n, edges


def package_graph(n, mean_dependencies=4, seed=0):
    """A package-dependency-like DAG: element i depends on a few higher-numbered
    elements, most often on the widely shared base packages near the top. The
    number of dependencies is heavy-tailed, as in real package archives."""
    rng = _random.Random(seed * 1_000_003 + n * 17 + mean_dependencies)
    edges = []
    for i in range(n - 1):
        above = n - 1 - i
        count = min(above, int(rng.paretovariate(1.5) * mean_dependencies / 3))
        for _ in range(count):
            # Skewed towards the top: a few base packages are depended on by most.
            edges.append((i, n - 1 - int(above * rng.random() ** 3)))
    return n, edges
