"""Ctrl-C in every long stretch, results never seen half-built, and arguments
converted in bounded memory; each case in a fresh interpreter."""

import pytest

from isolation import run_isolated

# Each builds `call`, which runs long without polls.
LONG_CALLS = {
    # Successor rows that are empty cost nothing; the closure is the input.
    "closure of empty rows": """
        n = 32768
        upper = ((1 << n) - 1) ^ ((1 << (n // 2)) - 1)
        successors = [upper] * (n // 2) + [0] * (n - n // 2)
        call = lambda: q.transitive_successor_closure_bitsets(n, successors)
    """,
    # Every lower element meets k middle rows that each span the whole top.
    "closure of wide rows": """
        k = 8192
        top = ((1 << (3 * k)) - 1) ^ ((1 << (2 * k)) - 1)
        middle = ((1 << (2 * k)) - 1) ^ ((1 << k) - 1)
        successors = [middle] * k + [top ^ (1 << (2 * k + i)) for i in range(k)] + [0] * k
        call = lambda: q.transitive_successor_closure_bitsets(3 * k, successors)
    """,
    # Element 0's row: its values beyond 64 bits (64 layers of three) are
    # pushed from each of k middle elements onto k top elements.
    "one Möbius row": """
        n = 12000
        edges = [(0, 1), (0, 2), (0, 3)]
        edges += [(3 * i - 2 + a, 3 * i + 1 + b) for i in range(1, 64) for a in range(3) for b in range(3)]
        k = (n - 194) // 2
        hub = 193 + k
        edges += [(190 + a, m) for a in range(3) for m in range(193, hub)]
        edges += [(m, hub) for m in range(193, hub)] + [(hub, t) for t in range(hub + 1, n)]
        call = lambda: q.mobius_matrix_data(n, edges)
    """,
    "closure index lists": """
        n = 20000
        edges = [(i, i + 1) for i in range(n - 1)]
        call = lambda: q.transitive_successor_closure(n, edges)
    """,
    # Past a lowered memory budget: every pair of the chain in some block.
    "sizes by column blocks": """
        n = 40000
        edges = [(i, i + 1) for i in range(n - 1)]
        q._memory_budget = 8 * n
        call = lambda: q.principal_ideal_filter_sizes(n, edges)
    """,
    "zeta sums by column blocks": """
        n = 40000
        edges = [(i, i + 1) for i in range(n - 1)]
        q._memory_budget = 8 * n
        call = lambda: q.zeta_transform_data(n, edges, [1.0] * n)
    """,
    # Lines side by side, each element above the heads of two of them.
    "sizes over chain coordinates and width by chain cover": """
        import random
        rng = random.Random(1)
        n, lines = 400000, 300
        heads = list(range(lines))
        edges = []
        for i in range(lines, n):
            line = rng.randrange(lines)
            edges += [(heads[line], i), (heads[rng.randrange(lines)], i)]
            heads[line] = i
        edges = [(a, b) for a, b in edges if a < b]
        q._memory_budget = 1 << 30
        call = lambda: (q.zeta_summary_data(n, edges), q.width_data(n, edges))
    """,
    "argument conversion": """
        call = lambda: q.zeta_transform_data(3, [], range(2**40))
    """,
}


@pytest.mark.parametrize("case", LONG_CALLS)
def test_a_signal_is_handled_promptly_in_every_long_stretch(case):
    # The timer counts the process's CPU time, so a loaded machine does not
    # count against the call. Handled on an idle machine within about 0.01 s;
    # the bound leaves room for slow builds, not for a missing poll.
    code = "\n        import _quorvane_rust as q" + LONG_CALLS[case] + """
        import signal, time

        def interrupt(signum, frame):
            raise KeyboardInterrupt

        signal.signal(signal.SIGPROF, interrupt)
        start = time.process_time()
        signal.setitimer(signal.ITIMER_PROF, 0.3)
        try:
            call()
        except KeyboardInterrupt:
            pass
        print(time.process_time() - start - 0.3)
        print(q.width_data(3, [(0, 2), (1, 2)]))
    """
    result = run_isolated(code, memory_limit_gb=1.5, cap_optional=True)
    assert result.returncode == 0, result.stderr
    late, width = result.stdout.split()
    assert float(late) < 1.0
    assert width == "2"


@pytest.mark.parametrize("call", [
    "q.mobius_matrix_data(n, [])",
    "q.transitive_successor_closure(n, [(i, i + 1) for i in range(n - 1)])",
    "q.max_plus_convolution_data(n, [], [[0.0] * n] * n, [[1.0] * n] * n)",
])
def test_signal_handlers_never_meet_a_half_built_result(call):
    code = f"""
        import gc, signal
        import _quorvane_rust as q

        n = 3000

        def inspect_lists(signum, frame):
            for o in gc.get_objects():
                if type(o) is list and len(o) == n:
                    o[-1]

        signal.signal(signal.SIGALRM, inspect_lists)
        signal.setitimer(signal.ITIMER_REAL, 0.005, 0.005)
        result = {call}
        signal.setitimer(signal.ITIMER_REAL, 0)
        print(len(result))
    """
    result = run_isolated(code, memory_limit_gb=4, cap_optional=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["3000"]


# Each argument is far longer than its known count; stored whole, it would
# not fit under the cap.
@pytest.mark.parametrize("call, message", [
    ("q.zeta_transform_data(3, [], range(2 * 10**7))", "value vector length must match the element count"),
    ("q.transitive_successor_closure_bitsets(3, range(2 * 10**7))",
     "cover successor bitset count must match the element count"),
    ("q.sum_product_convolution_data(3, [], [range(2 * 10**7)], [])",
     "incidence convolution matrices must match the element count"),
    ("q.sum_product_convolution_data(3, [], [[0.0] * 4] * (5 * 10**6), [])",
     "incidence convolution matrices must match the element count"),
])
def test_items_past_a_known_count_are_converted_but_not_kept(call, message):
    code = f"""
        import _quorvane_rust as q
        try:
            {call}
        except ValueError as error:
            print(error)
    """
    result = run_isolated(code, memory_limit_gb=0.2)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == message
