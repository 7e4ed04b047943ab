"""Random members of the poset families that the counting functions meet, as hypothesis strategies.

Each generator takes a random.Random and a size and returns (n, edges),
topologically numbered.
"""

import itertools
import math

from hypothesis import strategies as st


def random_order(rng, n):
    p = rng.choice([1, 2, 4, 8]) / max(n, 1)
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < p]


def two_layer(rng, n):
    p = rng.choice([0.04, 0.08, 0.15, 0.3])
    lower = n // 2
    return n, [(i, j) for i in range(lower) for j in range(lower, n) if rng.random() < p]


def interval_order(rng, n):
    spread = rng.choice([0.05, 0.2, 0.4])
    ends = sorted((left + rng.random() * spread, left) for left in (rng.random() for _ in range(n)))
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if ends[i][0] < ends[j][1]]


def two_dimensional(rng, n):
    rank = rng.sample(range(n), n)
    return n, [(i, j) for i in range(n) for j in range(i + 1, n) if rank[i] < rank[j]]


def forest(rng, n):
    roots = rng.choice([0.0, 0.1])
    edges = [(rng.randrange(i), i) for i in range(1, n) if rng.random() >= roots]
    if rng.random() < 0.5:  # roots at the top
        edges = [(n - 1 - b, n - 1 - a) for a, b in edges]
    return n, edges


def series_parallel(rng, n):
    """Blocks of consecutive elements joined in series (maxima below minima) or in parallel."""
    blocks = [([i], [i]) for i in range(n)]
    edges = []
    while len(blocks) > 1:
        k = rng.randrange(len(blocks) - 1)
        (low_min, low_max), (high_min, high_max) = blocks[k], blocks[k + 1]
        if rng.random() < 0.5:
            edges += [(a, b) for a in low_max for b in high_min]
            blocks[k : k + 2] = [(low_min, high_max)]
        else:
            blocks[k : k + 2] = [(low_min + high_min, low_max + high_max)]
    return n, edges


def chain_product(rng, n):
    """The product of one to three chains, of at most n elements in all."""
    shape = []
    for _ in range(rng.randint(1, 3)):
        if n // math.prod(shape) == 0:
            break
        shape.append(rng.randint(1, n // math.prod(shape)))
    return grid(shape) if shape else (0, [])


def disjoint_union(rng, n):
    """Chains, antichains and random orders side by side."""
    edges, start = [], 0
    while start < n:
        size = rng.randint(1, n - start)
        kind = rng.randrange(3)
        if kind == 0:
            part = [(i, i + 1) for i in range(size - 1)]
        else:
            part = random_order(rng, size)[1] if kind == 1 else []
        edges += [(start + a, start + b) for a, b in part]
        start += size
    return n, edges


def layered(rng, n):
    layers = rng.randint(2, 5)
    bounds = [n * k // layers for k in range(layers + 1)]
    edges = []
    for k in range(layers - 1):
        above = range(bounds[k + 1], bounds[k + 2])
        p = min(1.0, 3 / max(len(above), 1))
        edges += [(a, b) for a in range(bounds[k], bounds[k + 1]) for b in above if rng.random() < p]
    return n, edges


def chain_plus_free(rng, n):
    chain = sorted(rng.sample(range(n), rng.randint(0, n)))
    return n, list(zip(chain, chain[1:]))


FAMILIES = [
    random_order,
    two_layer,
    interval_order,
    two_dimensional,
    forest,
    series_parallel,
    chain_product,
    disjoint_union,
    layered,
    chain_plus_free,
]


def few_chains(rng, lengths, links):
    """Chains of the given lengths, interleaved at random, and `links` random edges forward in that interleaving."""
    owner = [chain for chain, length in enumerate(lengths) for _ in range(length)]
    rng.shuffle(owner)
    last = {}
    edges = []
    for x, chain in enumerate(owner):
        if chain in last:
            edges.append((last[chain], x))
        last[chain] = x
    if len(owner) >= 2:
        edges += [tuple(sorted(rng.sample(range(len(owner)), 2))) for _ in range(links)]
    return len(owner), edges


def grid(shape):
    """The product of chains of the given lengths, each point below its successor along every axis."""
    index = {point: k for k, point in enumerate(itertools.product(*(range(length) for length in shape)))}
    edges = []
    for point, k in index.items():
        for axis, length in enumerate(shape):
            if point[axis] + 1 < length:
                edges.append((k, index[point[:axis] + (point[axis] + 1,) + point[axis + 1 :]]))
    return len(index), edges


@st.composite
def family_members(draw, max_n, min_n=0):
    """(n, edges): a member of a randomly chosen family."""
    family = draw(st.sampled_from(FAMILIES))
    n = draw(st.integers(min_n, max_n))
    return family(draw(st.randoms(use_true_random=False)), n)


# Chain lengths whose multinomial lies just below or above 2^128: once a few
# links join the chains, the count comes close to it on either side.
NEAR_U128_CHAINS = [(40, 31, 5, 4, 3), (35, 19, 10, 5, 4), (89, 12, 12, 6), (27, 27, 15, 9), (41, 31, 5, 4, 3)]


@st.composite
def narrow_orders(draw, radix_product, near_u128=False):
    """(n, edges): up to six linked chains, with about `radix_product` as the product of (length + 1)."""
    if near_u128 and draw(st.integers(0, 4)) == 0:
        lengths = draw(st.sampled_from(NEAR_U128_CHAINS))
        links = draw(st.integers(1, 4))
    else:
        chains = draw(st.integers(1, 6))
        longest = max(1, min(128 // chains, int(radix_product ** (1 / chains)) - 1))
        lengths = draw(st.lists(st.integers(1, longest), min_size=chains, max_size=chains))
        links = draw(st.sampled_from([1, 3, 10, 40]))
    return few_chains(draw(st.randoms(use_true_random=False)), lengths, links)


@st.composite
def linked_grids(draw):
    """(n, edges): a grid of two or three axes, up to 128 points, and a few random edges forward in its numbering."""
    shape = draw(st.lists(st.integers(2, 16), min_size=2, max_size=3).filter(lambda s: math.prod(s) <= 128))
    n, edges = grid(shape)
    rng = draw(st.randoms(use_true_random=False))
    return n, edges + [tuple(sorted(rng.sample(range(n), 2))) for _ in range(draw(st.integers(0, 4)))]
