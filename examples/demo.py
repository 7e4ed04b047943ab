"""Every quantity the module computes, on the divisors of 720 ordered by divisibility.

    python examples/demo.py
"""

import math

import _quorvane_rust as q


def divisor_lattice(number):
    """Divisors in increasing order (a linear extension of divisibility) and the cover edges d -> d*p."""
    divisors = [d for d in range(1, number + 1) if number % d == 0]
    index = {d: i for i, d in enumerate(divisors)}
    primes = [p for p in range(2, number + 1) if number % p == 0 and all(p % r for r in range(2, p))]
    edges = [(index[d], index[d * p]) for d in divisors for p in primes if number % (d * p) == 0]
    return divisors, edges


def main():
    divisors, edges = divisor_lattice(720)
    n = len(divisors)
    successors = [sum(1 << j for i2, j in edges if i2 == i) for i in range(n)]
    print(f"The divisors of 720 under divisibility: {n} elements, {len(edges)} cover edges.")

    above = q.transitive_successor_closure(n, edges)
    print(f"Divisors that 60 divides properly: {[divisors[j] for j in above[divisors.index(60)]]}")
    assert [bin(b).count('1') for b in q.transitive_successor_closure_bitsets(n, successors)] == [len(a) for a in above]

    ideals, filters = q.principal_ideal_filter_sizes(n, edges)
    pairs, _, _ = q.zeta_summary_data(n, edges)
    print(f"Comparable pairs: {pairs}; divisors of 720 divisible by 12: {filters[divisors.index(12)]}; "
          f"divisors of 360: {ideals[divisors.index(360)]}")

    # Zeta transform of the identity function: the sum of divisors, sigma(d).
    sigma = q.zeta_transform_data(n, edges, [float(d) for d in divisors])
    strict = q.strict_zeta_transform_data(n, edges, [float(d) for d in divisors])
    print(f"sigma(720) = {sigma[-1]:.0f}; aliquot sum of 720 = {strict[-1]:.0f}")

    print(f"Width (largest antichain, e.g. the divisors with three prime factors): {q.width_data(n, edges)}")
    scores = [math.log(d) - 2.0 for d in divisors]
    print(f"Best antichain score with scores log(d) - 2: {q.max_antichain_score_data(n, edges, scores):.6f}")
    print(f"Linear extensions: {q.linear_extension_count_data(n, edges)}")

    count, trivial, proper, covers, smallest, largest, mean, histogram = q.interval_summary_data(n, edges)
    print(f"Intervals: {count} ({trivial} trivial, {proper} proper, {covers} covers), sizes {smallest}..{largest}, "
          f"mean {mean:.4f}")
    print(f"Interval size histogram: {histogram}")

    mobius = q.mobius_matrix_data(n, edges)
    print(f"Number-theoretic Moebius function mu(720/d) = mu(d, 720): "
          f"{ {divisors[x]: mobius[x][-1] for x in range(n) if mobius[x][-1]} }")
    print(f"Order ideals by size (rank sizes of the ideal lattice): {q.lattice_layer_sizes(n, edges)}")

    # The incidence algebra: zeta * zeta counts the elements of each interval.
    zeta = [[1.0] * n for _ in range(n)]
    interval_sizes = q.sum_product_convolution_data(n, edges, zeta, zeta)
    assert interval_sizes == q.sum_product_convolution_bitset_data(n, successors, zeta, zeta)
    print(f"Size of the interval [1, 720] from zeta * zeta: {interval_sizes[0][-1]:.0f}")
    weights = [[float(divisors[y] // divisors[x]) for y in range(n)] for x in range(n)]
    longest = q.max_plus_convolution_data(n, edges, weights, weights)
    shortest = q.min_plus_convolution_data(n, edges, weights, weights)
    bottleneck = q.max_min_convolution_data(n, edges, weights, weights)
    for name, bitset_form, result in [
        ("max-plus", q.max_plus_convolution_bitset_data, longest),
        ("min-plus", q.min_plus_convolution_bitset_data, shortest),
        ("max-min", q.max_min_convolution_bitset_data, bottleneck),
    ]:
        assert bitset_form(n, successors, weights, weights) == result
        print(f"{name} convolution of the quotient weights d2/d1 at [1, 720]: {result[0][-1]:g}")


if __name__ == "__main__":
    main()
