"""The benchmark's cases: one row per (function, workload)."""

from dataclasses import dataclass
from typing import Callable

import _quorvane_rust as q

import workloads as w


@dataclass
class Case:
    function: str
    workload: str
    prepare: Callable[[], Callable[[], object]]  # builds the inputs, returns the timed call
    target_ms: float = 0.0
    floor: bool = True
    time_it: bool = True


def edge_case(function, label, make_poset, target_ms=0.0, extra=lambda n: (), **options):
    def prepare():
        n, edges = make_poset()
        args = (n, edges, *extra(n))
        fn = getattr(q, function)
        return lambda: fn(*args)

    return Case(function, label, prepare, target_ms, **options)


def _argument_conversion():
    n, edges = w.random_poset(200_000, 10)  # about 1 million edges
    edges = edges[:1_000_000]
    # Out-of-range edge at the end: the call converts everything, then fails fast.
    edges.append((n, n))

    def call():
        try:
            q.zeta_summary_data(n, edges)
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
