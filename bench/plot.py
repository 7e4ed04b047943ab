"""Plots time against n for the main functions on random(n, 12) posets.

    pip install '.[bench]' && python bench/plot.py bench/scaling.png
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))

import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import _quorvane_rust as q  # noqa: E402
import workloads as w  # noqa: E402
from run import median_time  # noqa: E402

SIZES = [250, 500, 1000, 2000, 4000]
FUNCTIONS = {
    "transitive_successor_closure": lambda n, e: (n, e),
    "zeta_summary_data": lambda n, e: (n, e),
    "width_data": lambda n, e: (n, e),
    "zeta_transform_data": lambda n, e: (n, e, [1.0] * n),
    "interval_summary_data": lambda n, e: (n, e),
    "mobius_matrix_data": lambda n, e: (n, e),
    "max_antichain_score_data": lambda n, e: (n, e, w.scores(n)),
    "sum_product_convolution_data": lambda n, e: (n, e, w.matrix(n), w.matrix(n)),
}


def main():
    output = Path(sys.argv[1] if len(sys.argv) > 1 else "bench/scaling.png")
    posets = {n: w.random_poset(n, 12) for n in SIZES}
    figure, axes = plt.subplots(figsize=(8, 5))
    for name, make_args in FUNCTIONS.items():
        function = getattr(q, name)
        sizes = [n for n in SIZES if not (name.endswith("convolution_data") and n > 2000)]
        times = [median_time(lambda a=make_args(*posets[n]): function(*a), 3) * 1e3 for n in sizes]
        axes.loglog(sizes, times, marker="o", label=name)
    axes.set_xlabel("elements n (random(n, 12))")
    axes.set_ylabel("median time per call, ms")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(output, dpi=120)
    print(f"wrote {output}")


if __name__ == "__main__":
    main()
