"""Times the module's functions on seeded workloads.

    python bench/run.py [--filter SUBSTRING] [--repeat K] [--markdown FILE] [--baseline SO_FILE]
                        [--families]

Prints, per function and workload, the median time and its ratio to the
output floor: the time to build a plain Python object of the result's shape.
A case with a pure-Python equivalent times that too, interleaved with the
call, and prints how much slower it is. With --baseline, another build of the
module (a path to its shared object) is timed on the same inputs in the same
run, alternating call by call, and its time over the installed build's is
printed as the speed-up. A second table (bench/counting.py) gives the counting
functions' answers within one second over the poset families; it runs when no
filter is given, or with --families.
"""

import argparse
import gc
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

import _quorvane_rust  # noqa: E402

import cases  # noqa: E402
import counting  # noqa: E402
from builds import load_build  # noqa: E402


# An older build can take minutes where this one takes milliseconds: its rows
# are timed only when a first call answers within this many seconds.
BASELINE_CAP = 10.0


def answers_within_cap(call):
    """Whether a first call answers, or fails with a defined error, within BASELINE_CAP."""
    try:
        return counting.timed_answer(call, (), BASELINE_CAP) is not None
    except Exception:  # noqa: BLE001 - a defined error is an answer
        return True


# Calls shorter than this are timed in batches of about this length: a single
# call of a few microseconds is mostly the timer and cold caches.
BATCH_SECONDS = 1e-3


def batch_size(function):
    start = time.perf_counter()
    function()
    return max(1, int(BATCH_SECONDS / max(time.perf_counter() - start, 1e-9)))


def median_times(functions, repeat):
    """Median seconds per call of each function, the calls interleaved so that drift hits all alike.

    Each batch starts from a collected heap, and the order of the functions
    turns round from one repeat to the next: otherwise whichever comes second
    inherits the first one's garbage and the collector's schedule, which on
    large results moves a median by a quarter. Every function runs as many
    calls per batch as the first needs: a batch's first call meets cold caches,
    and batches of different lengths would weigh that differently.
    """
    times = [[] for _ in functions]
    calls = batch_size(functions[0])
    timed = list(zip(functions, times))
    for _ in range(repeat):
        for function, samples in timed:
            gc.collect()
            start = time.perf_counter()
            for _ in range(calls):
                function()
            samples.append((time.perf_counter() - start) / calls)
        timed = timed[1:] + timed[:1]
    return [statistics.median(samples) for samples in times]


def median_time(function, repeat):
    return median_times([function], repeat)[0]


def floor_time(result, repeat):
    """Time to build a fresh object of the result's shape from Python ints and floats."""

    def rebuild(value):
        if isinstance(value, list):
            return [rebuild(v) for v in value]
        if isinstance(value, tuple):
            return tuple(rebuild(v) for v in value)
        if isinstance(value, int):
            return value + 0
        if isinstance(value, float):
            return value + 0.0
        return value

    return median_time(lambda: rebuild(result), repeat)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--filter", default="")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--markdown", type=Path)
    parser.add_argument("--baseline", type=Path, help="shared object of another build to time alongside")
    parser.add_argument("--families", action="store_true", help="run the family table even with a filter")
    options = parser.parse_args()
    baseline = load_build(options.baseline) if options.baseline else None
    rows = []
    header = f"{'function':40} {'workload':26} {'median ms':>10} {'floor ms':>9} {'ratio':>7} {'target ms':>9}"
    print(header + (f" {'baseline ms':>11} {'speed-up':>8}" if baseline else ""))
    for case in cases.CASES:
        if options.filter not in case.function + " " + case.workload:
            continue
        call = case.prepare(_quorvane_rust)
        try:
            result = call()
        except Exception as error:  # noqa: BLE001 - some workloads end in a defined error
            result = None
            note = type(error).__name__
        else:
            note = ""
        timed = [call]
        with_baseline = False
        if baseline and case.time_it:
            baseline_call = case.prepare(baseline)
            with_baseline = answers_within_cap(baseline_call)
            if with_baseline:
                timed.append(baseline_call)
            else:
                note += f"baseline: no answer within {BASELINE_CAP:g} s"
        if case.reference and case.time_it:
            timed.append(case.reference())
        times = median_times(timed, options.repeat) if case.time_it else [0.0]
        seconds = times[0]
        if with_baseline:
            baseline_seconds = times[1]
        if case.reference and case.time_it:
            note += f"pure-Python loop {times[-1] * 1e3:.0f} ms, {times[-1] / seconds:.1f}x slower"
        # A scalar result has no output to speak of: only containers get a floor.
        has_output = isinstance(result, (list, tuple))
        floor = floor_time(result, options.repeat) if has_output and case.floor else 0.0
        ratio = f"{seconds / floor:7.2f}" if floor else "      -"
        target = f"{case.target_ms:9g}" if case.target_ms else "        -"
        rows.append((case.function, case.workload, seconds * 1e3, floor * 1e3, ratio.strip(), target.strip(), note))
        line = f"{case.function:40} {case.workload:26} {seconds * 1e3:10.2f} {floor * 1e3:9.2f} {ratio} {target}"
        if with_baseline:
            line += f" {baseline_seconds * 1e3:11.2f} {baseline_seconds / seconds:8.2f}"
        elif baseline:
            line += f" {'-':>11} {'-':>8}"
        print(f"{line} {note}")
    if options.markdown:
        lines = ["| function | workload | median ms | floor ms | ratio | target ms |", "|---|---|---:|---:|---:|---:|"]
        lines += [f"| `{f}` | {w} | {t:.2f} | {fl:.2f} | {r} | {tg} |" for f, w, t, fl, r, tg, _ in rows]
        options.markdown.write_text("\n".join(lines) + "\n")
    if options.families or not options.filter:
        print()
        counting.family_table([("", _quorvane_rust)] + ([("baseline ", baseline)] if baseline else []))


if __name__ == "__main__":
    main()
