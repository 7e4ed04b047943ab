"""The benchmark's cases: one row per (function, workload)."""

import functools
from dataclasses import dataclass
from typing import Callable

import workloads as w


@dataclass
class Case:
    function: str
    workload: str
    prepare: Callable[[object], Callable[[], object]]  # builds the inputs for a module, returns the timed call
    target_ms: float = 0.0
    floor: bool = True
    time_it: bool = True
    reference: Callable[[], Callable[[], object]] | None = None  # builds a pure-Python equivalent to compare with


def edge_case(function, label, make_poset, target_ms=0.0, extra=lambda n: (), **options):
    def prepare(module):
        n, edges = make_poset()
        args = (n, edges, *extra(n))
        fn = getattr(module, function)
        return lambda: fn(*args)

    return Case(function, label, prepare, target_ms, **options)


def _argument_conversion(module):
    n, edges = w.random_poset(200_000, 10)  # about 1 million edges
    edges = edges[:1_000_000]
    # Out-of-range edge at the end: the call converts everything, then fails fast.
    edges.append((n, n))

    def call():
        try:
            module.zeta_summary_data(n, edges)
        except ValueError:
            pass

    return call


CASES = [
    Case("(argument conversion)", "1M edge tuples", _argument_conversion, 60.0, floor=False),
]

for fn in ("principal_ideal_filter_sizes", "zeta_summary_data"):
    for n in (500, 2000, 5000):
        for c in (4, 12):
            CASES.append(edge_case(fn, f"random({n}, {c})", lambda n=n, c=c: w.random_poset(n, c),
                                   15.0 if (n, c) == (5000, 12) else 0.0))
    for n in (1000, 2000, 5000):
        CASES.append(edge_case(fn, f"chain({n})", lambda n=n: w.chain(n)))
    CASES.append(edge_case(fn, "boolean(2^12)", lambda: w.boolean_lattice(12)))

for fn in ("zeta_transform_data", "strict_zeta_transform_data"):
    for label, make, target in (("random(2000, 12)", lambda: w.random_poset(2000, 12), 0.0),
                                ("random(5000, 12)", lambda: w.random_poset(5000, 12), 15.0),
                                ("chain(5000)", lambda: w.chain(5000), 0.0)):
        CASES.append(edge_case(fn, label, make, target, extra=lambda n: (w.scores(n),)))

for label, make, target in (("random(2000, 12)", lambda: w.random_poset(2000, 12), 15.0),
                            ("random(5000, 12)", lambda: w.random_poset(5000, 12), 150.0),
                            ("random(5000, 4)", lambda: w.random_poset(5000, 4), 0.0),
                            ("chain(5000)", lambda: w.chain(5000), 0.0),
                            ("grid(70, 70)", lambda: w.grid(70, 70), 0.0),
                            ("boolean(2^12)", lambda: w.boolean_lattice(12), 100.0)):
    CASES.append(edge_case("width_data", label, make, target))

for label, make, target in (("random(2000, 12)", lambda: w.random_poset(2000, 12), 80.0),
                            ("chain(2000)", lambda: w.chain(2000), 80.0),
                            ("grid(40, 50)", lambda: w.grid(40, 50), 150.0),
                            ("random(5000, 4)", lambda: w.random_poset(5000, 4), 1000.0),
                            ("random(5000, 12)", lambda: w.random_poset(5000, 12), 0.0),
                            ("boolean(2^12)", lambda: w.boolean_lattice(12), 0.0)):
    CASES.append(edge_case("max_antichain_score_data", label, make, target, extra=lambda n: (w.scores(n),)))

for label, make, target in (("random(2000, 12)", lambda: w.random_poset(2000, 12), 40.0),
                            ("chain(2000)", lambda: w.chain(2000), 60.0),
                            ("boolean(2^11)", lambda: w.boolean_lattice(11), 0.0)):
    CASES.append(edge_case("interval_summary_data", label, make, target))

# The Möbius matrix aims at twice the output floor (an n x n list of small ints).
for label, make in (("random(2000, 12)", lambda: w.random_poset(2000, 12)),
                    ("chain(2000)", lambda: w.chain(2000)),
                    ("boolean(2^11)", lambda: w.boolean_lattice(11))):
    CASES.append(edge_case("mobius_matrix_data", label, make))


def _incidence_matrices(n):
    return w.matrix(n, 1), w.matrix(n, 2)


def _as_successor_bitsets(make_poset):
    def make():
        n, edges = make_poset()
        successors = [0] * n
        for lower, upper in edges:
            successors[lower] |= 1 << upper
        return n, successors

    return make


# Sum-product sets the targets; the other semirings may take 1.5 times as long.
# On an antichain only the diagonal is computed, so the call is the conversion
# of n x n floats in and out.
_CONVOLUTION_POSETS = {
    "random(1000, 12)": (lambda: w.random_poset(1000, 12), 30.0),
    "random(2000, 12)": (lambda: w.random_poset(2000, 12), 200.0),
    "chain(1000)": (lambda: w.chain(1000), 80.0),
    "chain(2000)": (lambda: w.chain(2000), 500.0),
    "antichain(2000)": (lambda: w.antichain(2000), 0.0),
}
for semiring, factor in (("sum_product", 1.0), ("max_plus", 1.5), ("min_plus", 1.5), ("max_min", 1.5)):
    for label, (make, target) in _CONVOLUTION_POSETS.items():
        CASES.append(edge_case(f"{semiring}_convolution_data", label, make, factor * target, extra=_incidence_matrices))
CASES.append(edge_case("sum_product_convolution_bitset_data", "random(1000, 12)",
                       _as_successor_bitsets(lambda: w.random_poset(1000, 12)), 30.0, extra=_incidence_matrices))


class _IntSubclass(int):
    """Items of this type take the method-protocol path of bitset decoding."""


def _as_subclass_bitsets(make_poset):
    make = _as_successor_bitsets(make_poset)

    def make_subclass():
        n, successors = make()
        return n, [_IntSubclass(x) for x in successors]

    return make_subclass


# The list form aims at 1.3 times the output floor; the bitset form at 25 ms
# on random(5000, 12), and at most ten times that for int-subclass items.
for label, make in (("random(500, 12)", lambda: w.random_poset(500, 12)),
                    ("random(2000, 4)", lambda: w.random_poset(2000, 4)),
                    ("random(2000, 12)", lambda: w.random_poset(2000, 12)),
                    ("chain(2000)", lambda: w.chain(2000))):
    CASES.append(edge_case("transitive_successor_closure", label, make))
for label, make, target in (("random(2000, 12)", lambda: w.random_poset(2000, 12), 0.0),
                            ("random(5000, 12)", lambda: w.random_poset(5000, 12), 25.0),
                            ("chain(2000)", lambda: w.chain(2000), 0.0)):
    CASES.append(edge_case("transitive_successor_closure_bitsets", label, _as_successor_bitsets(make), target))
CASES.append(edge_case("transitive_successor_closure_bitsets", "random(5000, 12) int subclass",
                       _as_subclass_bitsets(lambda: w.random_poset(5000, 12)), 250.0))


def _closure_loop(n, successors):
    """The closure as a user would write it in Python, over the same ints."""
    reach = [0] * n
    for i in reversed(range(n)):
        r = s = successors[i]
        while s:
            low = s & -s
            r |= reach[low.bit_length() - 1]
            s ^= low
        reach[i] = r
    return reach


def _closure_against_loop(label, make_poset):
    make = functools.cache(_as_successor_bitsets(make_poset))

    def prepare(module):
        n, successors = make()
        return lambda: module.transitive_successor_closure_bitsets(n, successors)

    def reference():
        n, successors = make()
        return lambda: _closure_loop(n, successors)

    return Case("transitive_successor_closure_bitsets", label, prepare, reference=reference)


# Real DAGs of tens of thousands of elements: the call should beat the loop
# above by 3x or more.
for label, make in (("package(60000)", lambda: w.package_graph(60_000)),
                    ("commits(60000)", lambda: w.commit_dag(60_000)),
                    ("random(40000, 4)", lambda: w.random_poset(40_000, 4))):
    CASES.append(_closure_against_loop(label, make))

# Ideal counts by size: every workload under 10 ms. An 8-element antichain has
# exactly the 256 ideals that are walked outright (the walk's rate).
for label, make, target in (("4 disjoint 32-chains", lambda: w.disjoint_chains(4, 32), 10.0),
                            ("grid(8, 16)", lambda: w.grid(8, 16), 10.0),
                            ("grid(2, 64)", lambda: w.grid(2, 64), 10.0),
                            ("random(60, 3)", lambda: w.random_poset(60, 3), 10.0),
                            ("antichain(128)", lambda: w.antichain(128), 10.0),
                            ("2 disjoint 64-chains", lambda: w.disjoint_chains(2, 64), 10.0),
                            ("random(128, 4)", lambda: w.random_poset(128, 4), 0.0),
                            ("antichain(8), walked", lambda: w.antichain(8), 0.0)):
    CASES.append(edge_case("lattice_layer_sizes", label, make, target))

# Sparse two-layer orders of 100 elements: each under 100 ms; the product of
# seven 2-chains (n = 128) under a second.
for p in (0.04, 0.06, 0.08):
    for seed in range(4):
        CASES.append(edge_case("lattice_layer_sizes", f"two-layer(50+50, {p}) #{seed}",
                               functools.partial(w.two_layer, 50, 50, p, seed), 100.0))
CASES.append(edge_case("lattice_layer_sizes", "seven 2-chains", lambda: w.boolean_lattice(7), 1000.0))



def _extension_count(label, make_poset, target_ms, extra=()):
    """Some of these counts need more than 128 bits: the timed call ends with that error."""

    def prepare(module):
        n, edges = make_poset()

        def call():
            try:
                return module.linear_extension_count_data(n, edges, *extra)
            except ValueError:
                return None

        return call

    return Case("linear_extension_count_data", label, prepare, target_ms)


# Linear extensions without a limit (four 32-chains and the 8 x 16 grid, whose
# count needs 281 bits, overflow); with a limit, the recursion as defined.
for label, make, target in (("2 disjoint 64-chains", lambda: w.disjoint_chains(2, 64), 1.0),
                            ("4 disjoint 32-chains", lambda: w.disjoint_chains(4, 32), 1.0),
                            ("7 disjoint 7-chains", lambda: w.disjoint_chains(7, 7), 1.0),
                            ("grid(8, 16)", lambda: w.grid(8, 16), 150.0)):
    CASES.append(_extension_count(label, make, target))
CASES.append(_extension_count("7 disjoint 7-chains, max_states", lambda: w.disjoint_chains(7, 7), 600.0, (2**64 - 1,)))
