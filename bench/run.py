"""Times the module's functions on seeded workloads.

    python bench/run.py [--filter SUBSTRING] [--repeat K] [--markdown FILE]

Prints, per function and workload, the median time and its ratio to the
output floor: the time to build a plain Python object of the result's shape.
"""

import argparse
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

import cases  # noqa: E402


def median_time(function, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


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
    options = parser.parse_args()
    rows = []
    print(f"{'function':40} {'workload':26} {'median ms':>10} {'floor ms':>9} {'ratio':>7} {'target ms':>9}")
    for case in cases.CASES:
        if options.filter not in case.function + " " + case.workload:
            continue
        call = case.prepare()
        try:
            result = call()
        except Exception as error:  # noqa: BLE001 - some workloads end in a defined error
            result = None
            note = type(error).__name__
        else:
            note = ""
        seconds = median_time(call, options.repeat) if case.time_it else 0.0
        # A scalar result has no output to speak of: only containers get a floor.
        has_output = isinstance(result, (list, tuple))
        floor = floor_time(result, options.repeat) if has_output and case.floor else 0.0
        ratio = f"{seconds / floor:7.2f}" if floor else "      -"
        target = f"{case.target_ms:9g}" if case.target_ms else "        -"
        rows.append((case.function, case.workload, seconds * 1e3, floor * 1e3, ratio.strip(), target.strip(), note))
        print(f"{case.function:40} {case.workload:26} {seconds * 1e3:10.2f} {floor * 1e3:9.2f} {ratio} {target} {note}")
    if options.markdown:
        lines = ["| function | workload | median ms | floor ms | ratio | target ms |", "|---|---|---:|---:|---:|---:|"]
        lines += [f"| `{f}` | {w} | {t:.2f} | {fl:.2f} | {r} | {tg} |" for f, w, t, fl, r, tg, _ in rows]
        options.markdown.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
