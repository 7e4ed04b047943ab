"""Many posets on a Dask cluster: the summaries of examples/parallel.py, mapped
over the workers of a distributed scheduler.

Without an address it starts a local cluster of two worker processes: a call
holds the interpreter lock, so threads in one process would take turns. Given
a scheduler's address, the same code runs on that scheduler's workers, which
need only the module installed: the client sends them examples/parallel.py.

    pip install '.[cluster]'
    python examples/cluster.py [COUNT] [SCHEDULER_ADDRESS]
"""

import sys
from contextlib import nullcontext

from dask.distributed import Client, LocalCluster

import parallel


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 64
    address = sys.argv[2] if len(sys.argv) > 2 else None
    cluster = nullcontext(address) if address else LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None)
    with cluster as scheduler, Client(scheduler) as client:
        client.upload_file(parallel.__file__)
        results = client.gather(client.map(parallel.summarise, range(count)))
        workers = len(client.scheduler_info()["workers"])
    parallel.report(results, f"on a Dask cluster of {workers} workers")


if __name__ == "__main__":
    main()
