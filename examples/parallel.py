"""Many posets at once: the module keeps no state and takes and returns plain
Python data, so a process pool (or a cluster scheduler, examples/cluster.py)
scales it out unchanged.

    python examples/parallel.py [COUNT]
"""

import random
import sys
from concurrent.futures import ProcessPoolExecutor

import _quorvane_rust as q


def random_poset(seed, n=40, density=0.08):
    rng = random.Random(seed)
    edges = [(i, j) for i in range(n) for j in range(i + 1, n) if rng.random() < density]
    return n, edges


def summarise(seed):
    n, edges = random_poset(seed)
    pairs, _, _ = q.zeta_summary_data(n, edges)
    return seed, pairs, q.width_data(n, edges), sum(q.lattice_layer_sizes(n, edges))


def report(results, where):
    """Checks the summaries computed elsewhere against serial calls and prints the extremes."""
    assert results == [summarise(seed) for seed in range(len(results))]
    widest = max(results, key=lambda r: r[2])
    most_ideals = max(results, key=lambda r: r[3])
    print(f"{len(results)} random posets of 40 elements summarised {where}")
    print(f"widest: seed {widest[0]} with width {widest[2]} ({widest[1]} comparable pairs)")
    print(f"most order ideals: seed {most_ideals[0]} with {most_ideals[3]}")


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 64
    with ProcessPoolExecutor() as pool:
        report(list(pool.map(summarise, range(count), chunksize=8)), "in parallel")


if __name__ == "__main__":
    main()
