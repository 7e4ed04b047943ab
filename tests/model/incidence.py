"""Convolutions of two incidence matrices in four semirings, interval by interval."""

import math

from .order import leq, strictly_above

SHAPE_MISMATCH = "incidence convolution matrices must match the element count"
INVALID_VALUE = "incidence convolution values must be valid f64 numbers"


class Semiring:
    def __init__(self, zero, product, add, rejects_term=lambda v: False, rejects_sum=lambda acc: False):
        self.zero, self.product, self.add = zero, product, add
        self.rejects_term, self.rejects_sum = rejects_term, rejects_sum


def _max(acc, v):
    return v if v > acc else acc


def _min(acc, v):
    return v if v < acc else acc


SEMIRINGS = {
    "max_min": Semiring(-math.inf, lambda a, b: b if b < a else a, _max),
    "max_plus": Semiring(-math.inf, lambda a, b: a + b, _max, rejects_term=math.isnan),
    "min_plus": Semiring(math.inf, lambda a, b: a + b, _min, rejects_term=math.isnan),
    "sum_product": Semiring(
        0.0,
        lambda a, b: a * b,
        lambda acc, v: acc + v,
        rejects_term=lambda v: not math.isfinite(v),
        rejects_sum=lambda acc: not math.isfinite(acc),
    ),
}


def check_operands(n, left, right):
    for matrix in (left, right):
        if len(matrix) != n:
            raise ValueError(SHAPE_MISMATCH)
        for row in matrix:
            if len(row) != n:
                raise ValueError(SHAPE_MISMATCH)
            if any(math.isnan(value) for value in row):
                raise ValueError(INVALID_VALUE)


def convolution(semiring, n, edges, left, right):
    above = strictly_above(n, edges)
    ring = SEMIRINGS[semiring]
    left = [[float(v) for v in row] for row in left]
    right = [[float(v) for v in row] for row in right]
    check_operands(n, left, right)
    result = [[ring.zero] * n for _ in range(n)]
    for x in range(n):
        for y in range(x, n):
            if not leq(above, x, y):
                continue
            acc = ring.zero
            for z in range(x, y + 1):
                if not leq(above, x, z) or not leq(above, z, y):
                    continue
                v = ring.product(left[x][z], right[z][y])
                if ring.rejects_term(v):
                    raise ValueError(INVALID_VALUE)
                acc = ring.add(acc, v)
            if ring.rejects_sum(acc):
                raise ValueError(INVALID_VALUE)
            result[x][y] = acc
    return result
