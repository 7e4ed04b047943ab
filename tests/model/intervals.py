from collections import Counter

from .order import strictly_above


def closed_sets(n, edges):
    """For each element, the elements at or above it and those at or below it."""
    above = strictly_above(n, edges)
    up = [above[x] | {x} for x in range(n)]
    down = [{x for x in range(n) if y in up[x]} for y in range(n)]
    return up, down


def interval_summary_data(n, edges):
    up, down = closed_sets(n, edges)
    if n == 0:
        return (0, 0, 0, 0, 0, 0, 0.0, [])
    sizes = [len(up[x] & down[y]) for x in range(n) for y in sorted(up[x])]
    count = len(sizes)
    return (
        count,
        sizes.count(1),
        sum(1 for s in sizes if s > 1),
        sizes.count(2),
        min(sizes),
        max(sizes),
        float(sum(sizes)) / float(count),
        sorted(Counter(sizes).items()),
    )


def mobius_matrix_data(n, edges):
    """mu(x, x) = 1; mu(x, y) = -(sum of mu(x, z) over x <= z < y); exact integers."""
    up, down = closed_sets(n, edges)
    mu = [[0] * n for _ in range(n)]
    for x in range(n):
        mu[x][x] = 1
        for y in sorted(up[x] - {x}):
            mu[x][y] = -sum(mu[x][z] for z in up[x] & down[y] if z != y)
    return mu
