"""Peak memory of the weighted antichain against width on the same large orders.

    python bench/memory.py [--baseline SO_FILE]

Each call runs in a fresh interpreter; its peak is the process's high-water
mark after the call minus its resident size before (VmHWM and VmRSS), so the
input lists are not counted. The aim is at most 1.5 times width's peak.
"""

import argparse
import json
import subprocess
import sys
from pathlib import Path

WORKLOADS = ["commit_dag(60_000)", "package_graph(60_000)"]
FUNCTIONS = ["width_data", "max_antichain_score_data"]

MEASURE = r"""
import json, sys, time
sys.path.insert(0, sys.argv[1])
import workloads as w

def status(key):
    with open("/proc/self/status") as lines:
        return next(int(line.split()[1]) * 1024 for line in lines if line.startswith(key + ":"))

if sys.argv[4]:
    from builds import load_build
    module = load_build(sys.argv[4])
else:
    import _quorvane_rust as module
n, edges = eval("w." + sys.argv[2])
args = (n, edges, w.scores(n)) if sys.argv[3] == "max_antichain_score_data" else (n, edges)
before = status("VmRSS")
start = time.perf_counter()
try:
    getattr(module, sys.argv[3])(*args)
    outcome = "ok"
except MemoryError:
    outcome = "MemoryError"
print(json.dumps({"peak": status("VmHWM") - before, "seconds": time.perf_counter() - start, "outcome": outcome}))
"""


def measure(workload, function, build):
    bench = str(Path(__file__).parent)
    output = subprocess.run([sys.executable, "-c", MEASURE, bench, workload, function, build],
                            check=True, capture_output=True, text=True).stdout
    return json.loads(output)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--baseline", type=Path, help="shared object of another build to measure as well")
    options = parser.parse_args()
    builds = [("installed", "")] + ([("baseline", str(options.baseline))] if options.baseline else [])
    print(f"{'build':10} {'workload':22} {'function':26} {'peak MiB':>9} {'seconds':>8} {'x width':>8}")
    for name, build in builds:
        for workload in WORKLOADS:
            width_peak = None
            for function in FUNCTIONS:
                result = measure(workload, function, build)
                width_peak = width_peak or result["peak"]
                ratio = result["peak"] / width_peak
                print(f"{name:10} {workload:22} {function:26} {result['peak'] / 2**20:9.1f} "
                      f"{result['seconds']:8.2f} {ratio:8.2f} {'' if result['outcome'] == 'ok' else result['outcome']}")


if __name__ == "__main__":
    main()
