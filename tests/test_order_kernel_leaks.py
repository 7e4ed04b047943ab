import sys

import _quorvane_rust as q
import pytest

from test_mobius import layered

CALLS = [
    (q.zeta_transform_data, (3, [(0, 1)], [1.0, 2.0, 3.0])),
    (q.zeta_transform_data, (3, [(0, 1)], [1.0])),
    (q.strict_zeta_transform_data, (3, [(5, 1)], [1.0, "x", 3.0])),
    (q.strict_zeta_transform_data, (3, [(2, 1)], [1.0, 2.0, 3.0])),
    (q.width_data, (8, [(a, b) for a in range(4) for b in range(4, 8)])),
    (q.width_data, (3, [(2, 1)])),
    (q.interval_summary_data, (6, [(0, 1), (1, 2), (0, 3), (3, 5)])),
    (q.interval_summary_data, (3, [(0, 3)])),
    (q.mobius_matrix_data, layered(70)),
    (q.mobius_matrix_data, (3, [(0, 3)])),
]


@pytest.mark.parametrize("function, args", CALLS)
def test_repeated_calls_keep_allocations_flat(function, args):
    def call():
        try:
            function(*args)
        except (TypeError, ValueError):
            pass

    for _ in range(20):
        call()
    before = sys.getallocatedblocks()
    for _ in range(300):
        call()
    assert sys.getallocatedblocks() - before < 20
