"""Time and peak memory of the five functions whose answers grow linearly with
n, on orders of 10^5 to 3·10^6 elements, beside the per-element walk that
other graph libraries offer for the same sizes.

    python bench/scale.py [--sizes N ...] [--workloads NAME ...] [--peer-limit SECONDS]

Each order is built once in a fresh interpreter, which then runs every
function on it. A call's peak is the process's high-water mark during the call
(reset before it) minus its resident size before it, so the input's Python
objects are not counted; the result's are. The peers' walk (networkx
`descendants`, igraph `neighborhood_size`, when installed) finds each
element's filter one element at a time; it runs on a sample of elements and
is extrapolated to all n where the whole walk would pass the limit.
"""

import argparse
import json
import subprocess
import sys
from pathlib import Path

FUNCTIONS = [
    "principal_ideal_filter_sizes",
    "zeta_summary_data",
    "zeta_transform_data",
    "strict_zeta_transform_data",
    "width_data",
]
WORKLOADS = ["package_graph", "branching_commits"]
SIZES = [100_000, 1_000_000, 3_000_000]
# Zeta sums add every lower element's value in order: about n²/2 additions
# on a commit history, where nearly every pair is comparable: two minutes at
# 10^6 elements, a quarter of an hour at 3·10^6.
LARGEST_QUADRATIC = {"branching_commits": 1_000_000}

MEASURE = r"""
import json, sys, time
sys.path.insert(0, sys.argv[1])
import workloads
import _quorvane_rust as q

def status(key):
    with open("/proc/self/status") as lines:
        return next(int(line.split()[1]) * 1024 for line in lines if line.startswith(key + ":"))

def reset_peak():
    with open("/proc/self/clear_refs", "w") as out:
        out.write("5")

workload, n, functions = sys.argv[2], int(sys.argv[3]), sys.argv[4].split(",")
n, edges = getattr(workloads, workload)(n)
values = [float(i % 1000) / 7 for i in range(n)]
print(json.dumps({"edges": len(edges)}), flush=True)
for name in functions:
    args = (n, edges, values) if "transform" in name else (n, edges)
    reset_peak()
    before = status("VmRSS")
    start = time.perf_counter()
    try:
        result = getattr(q, name)(*args)
        outcome = "ok"
    except MemoryError:
        outcome = "MemoryError"
    seconds = time.perf_counter() - start
    print(json.dumps({"function": name, "seconds": seconds, "peak": status("VmHWM") - before, "outcome": outcome}),
          flush=True)
    result = None
"""

PEERS = r"""
import json, sys, time
sys.path.insert(0, sys.argv[1])
import workloads

workload, n, limit = sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
n, edges = getattr(workloads, workload)(n)
sample = list(range(0, n, max(1, n // 200)))

def timed(walk, elements):
    start = time.perf_counter()
    walk(elements)
    return time.perf_counter() - start

def report(peer, walk):
    per_element = timed(walk, sample) / len(sample)
    if per_element * n <= limit:
        print(json.dumps({"peer": peer, "seconds": timed(walk, range(n)), "extrapolated": False}), flush=True)
    else:
        print(json.dumps({"peer": peer, "seconds": per_element * n, "extrapolated": True}), flush=True)

import networkx as nx
graph = nx.DiGraph(edges)
graph.add_nodes_from(range(n))
report("networkx descendants", lambda elements: [len(nx.descendants(graph, x)) for x in elements])
del graph
try:
    import igraph
except ImportError:
    pass
else:
    graph = igraph.Graph(n=n, edges=edges, directed=True)
    report("igraph neighborhood_size",
           lambda elements: graph.neighborhood_size(vertices=list(elements), order=n, mode="out"))
"""


def run(script, *args, timeout):
    bench = str(Path(__file__).parent)
    command = [sys.executable, "-c", script, bench, *map(str, args)]
    try:
        completed = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired as expired:
        output = expired.stdout.decode() if isinstance(expired.stdout, bytes) else (expired.stdout or "")
        return [json.loads(line) for line in output.splitlines()] + [{"timeout": timeout}]
    if completed.returncode != 0:
        sys.exit(completed.stderr)
    return [json.loads(line) for line in completed.stdout.splitlines()]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sizes", type=int, nargs="+", default=SIZES)
    parser.add_argument("--workloads", nargs="+", default=WORKLOADS, choices=WORKLOADS)
    parser.add_argument("--functions", nargs="+", default=FUNCTIONS, choices=FUNCTIONS)
    parser.add_argument("--peer-limit", type=float, default=600.0,
                        help="seconds a whole peer walk may take before it is extrapolated instead")
    parser.add_argument("--no-peers", action="store_true")
    parser.add_argument("--timeout", type=float, default=3600.0, help="seconds for one order's calls")
    options = parser.parse_args()
    print("| workload | n | edges | call | seconds | peak MiB |")
    print("|---|---:|---:|---|---:|---:|")
    for workload in options.workloads:
        for n in options.sizes:
            functions = [f for f in options.functions
                         if "transform" not in f or n <= LARGEST_QUADRATIC.get(workload, n)]
            lines = run(MEASURE, workload, n, ",".join(functions), timeout=options.timeout)
            edges = lines[0].get("edges", "?") if lines else "?"
            for line in lines[1:]:
                if "timeout" in line:
                    print(f"| `{workload}` | {n:,} | {edges:,} | (the rest) | over {line['timeout']:.0f} | - |")
                    continue
                seconds = f"{line['seconds']:.2f}" if line["outcome"] == "ok" else line["outcome"]
                print(f"| `{workload}` | {n:,} | {edges:,} | `{line['function']}` | {seconds} | "
                      f"{line['peak'] / 2**20:.0f} |", flush=True)
            for skipped in sorted(set(options.functions) - set(functions), key=FUNCTIONS.index):
                print(f"| `{workload}` | {n:,} | {edges:,} | `{skipped}` | not run: ~n²/2 additions | - |")
            if options.no_peers:
                continue
            for line in run(PEERS, workload, n, options.peer_limit, timeout=options.timeout):
                if "timeout" in line:
                    continue
                mark = " (extrapolated)" if line["extrapolated"] else ""
                print(f"| `{workload}` | {n:,} | {edges:,} | {line['peer']} | {line['seconds']:.1f}{mark} | - |",
                      flush=True)


if __name__ == "__main__":
    main()
