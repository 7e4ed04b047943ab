"""The counting functions over the poset families, each call capped in time.

    python bench/counting.py [--function SUBSTRING] [--family SUBSTRING]
                             [--sizes 40,80,128] [--seeds K] [--cap SECONDS] [--baseline SO_FILE]

For each function, family and size, prints how many of the seeded members got
their answer (a result, or the count's defined overflow error) within one
second, and the median time. A call still running at the cap is interrupted
by a timer signal; MemoryError counts as no answer.
"""

import argparse
import signal
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

import _quorvane_rust  # noqa: E402

from families import FAMILIES  # noqa: E402
from builds import load_build  # noqa: E402

FUNCTIONS = ("lattice_layer_sizes", "linear_extension_count_data")
ANSWER_WITHIN = 1.0


class CapReached(Exception):
    pass


def _raise_cap(signum, frame):
    raise CapReached


def timed_answer(function, args, cap):
    """Seconds to an answer, or None when the call hit the cap or ran out of memory."""
    previous = signal.signal(signal.SIGALRM, _raise_cap)
    start = time.perf_counter()
    try:
        signal.setitimer(signal.ITIMER_REAL, cap)
        try:
            function(*args)
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
    except ValueError:
        pass  # the defined overflow error is an answer
    except (CapReached, MemoryError):
        return None
    finally:
        signal.signal(signal.SIGALRM, previous)
    return time.perf_counter() - start


def summary(times):
    answered = [t for t in times if t is not None and t <= ANSWER_WITHIN]
    ordered = sorted(t if t is not None else float("inf") for t in times)
    median = statistics.median(ordered)
    median_text = f"{median * 1e3:.2f}" if median != float("inf") else "capped"
    return f"{len(answered)}/{len(times)}", median_text


def family_table(builds, function="", family_filter="", sizes=(40, 80, 128), seeds=4, cap=2.0):
    """Prints the table; builds are (label, module) pairs, the first one this build."""
    columns = "".join(f" {label + 'within 1 s':>20} {label + 'median ms':>19}" for label, _ in builds)
    print(f"{'function':28} {'family':16} {'n':>4}{columns}")
    totals = {label: [0, 0] for label, _ in builds}
    for name in FUNCTIONS:
        if function not in name:
            continue
        for family, make in FAMILIES.items():
            if family_filter not in family:
                continue
            for n in sizes:
                posets = [make(n, seed) for seed in range(seeds)]
                line = f"{name:28} {family:16} {n:4}"
                for label, module in builds:
                    times = [timed_answer(getattr(module, name), poset, cap) for poset in posets]
                    within, median = summary(times)
                    done = sum(t is not None and t <= ANSWER_WITHIN for t in times)
                    totals[label][0] += done
                    totals[label][1] += len(times)
                    line += f" {within:>20} {median:>19}"
                print(line, flush=True)
    for label, (done, total) in totals.items():
        print(f"{label.strip() or 'this build'}: {done}/{total} answered within {ANSWER_WITHIN:g} s")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--function", default="")
    parser.add_argument("--family", default="")
    parser.add_argument("--sizes", default="40,80,128")
    parser.add_argument("--seeds", type=int, default=4)
    parser.add_argument("--cap", type=float, default=2.0)
    parser.add_argument("--baseline", type=Path, help="shared object of another build to run alongside")
    options = parser.parse_args()
    builds = [("", _quorvane_rust)] + ([("baseline ", load_build(options.baseline))] if options.baseline else [])
    family_table(builds, options.function, options.family, [int(s) for s in options.sizes.split(",")],
                 options.seeds, options.cap)


if __name__ == "__main__":
    main()
