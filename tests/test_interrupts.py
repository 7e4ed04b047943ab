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


# Each builds `call`, whose tables grow large: a poll must come between any
# two slices of their growth, as of everything else.
GROWING_TABLES = {
    # The memo grows to millions of entries before the limit ends the call.
    "capped recursion": """
        k = 40
        call = lambda: q.linear_extension_count_data(2 * k, [(i, i + k) for i in range(k)], 1_500_000)
    """,
}


@pytest.mark.parametrize("case", GROWING_TABLES)
def test_no_stretch_between_polls_outlasts_a_tenth_of_a_second(case):
    # A profiling timer fires after each millisecond of the process's CPU
    # time, and its handler runs at the call's next poll: the longest gap
    # between two runs of the handler is the longest stretch without a poll,
    # however loaded the machine.
    code = "\n        import _quorvane_rust as q" + GROWING_TABLES[case] + """
        import signal, time

        longest = 0.0
        last = time.process_time()

        def record(signum, frame):
            global last, longest
            now = time.process_time()
            longest = max(longest, now - last)
            last = now

        signal.signal(signal.SIGPROF, record)
        signal.setitimer(signal.ITIMER_PROF, 0.001, 0.001)
        try:
            call()
        except ValueError:
            pass
        signal.setitimer(signal.ITIMER_PROF, 0)
        print(max(longest, time.process_time() - last))
    """
    result = run_isolated(code, memory_limit_gb=2, cap_optional=True)
    assert result.returncode == 0, result.stderr
    assert float(result.stdout) < 0.1


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
        inspecting = False

        # A slow or loaded machine may take longer over one inspection than
        # the timer's interval: a signal that arrives meanwhile is let pass,
        # rather than nesting handlers until the stack runs out.
        def inspect_lists(signum, frame):
            global inspecting
            if inspecting:
                return
            inspecting = True
            try:
                for o in gc.get_objects():
                    if type(o) is list and len(o) == n:
                        o[-1]
            finally:
                inspecting = False

        signal.signal(signal.SIGALRM, inspect_lists)
        signal.setitimer(signal.ITIMER_REAL, 0.005, 0.005)
        try:
            result = {call}
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
        print(len(result))
    """
    result = run_isolated(code, memory_limit_gb=4, cap_optional=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["3000"]


# Each sets `function` and `args` for a call whose kernel runs long enough,
# in little memory, for a timer signal to land in one of its polls.
NESTING_CALLS = {
    "extension count of a ladder": """
        r = 15
        edges = [(i, i + 1) for i in range(r - 1)] + [(2 * r + i, 2 * r + i + 1) for i in range(r - 1)]
        edges += [(i, r + i) for i in range(r)] + [(r + i, 2 * r + i) for i in range(r)]
        function, args = q.linear_extension_count_data, (3 * r, edges)
    """,
    "layer sizes of a sparse random order": """
        import random
        rng = random.Random(1)
        edges = [(i, j) for i in range(128) for j in range(i + 1, 128) if rng.random() < 0.03]
        function, args = q.lattice_layer_sizes, (128, edges)
    """,
    # Layers of three, each element below all of the next layer: the values
    # outgrow 64 bits.
    "Möbius matrix with wide values": """
        k = 100
        edges = [(0, 1), (0, 2), (0, 3)]
        edges += [(3 * i - 2 + a, 3 * i + 1 + b) for i in range(1, k) for a in range(3) for b in range(3)]
        function, args = q.mobius_matrix_data, (3 * k + 1, edges)
    """,
}


@pytest.mark.parametrize("case", NESTING_CALLS)
def test_calls_nested_through_a_signal_handler_end_in_recursion_error(case):
    # The handler runs inside the poll of the call it interrupts and calls
    # again, so calls nest until the recursion limit stops them; the stack
    # must outlast it. Once one level has failed, later signals are ignored.
    code = "\n        import _quorvane_rust as q" + NESTING_CALLS[case] + """
        import signal

        nested = 0
        failed = False

        def call_again(signum, frame):
            global nested, failed
            if failed:
                return
            nested += 1
            try:
                signal.setitimer(signal.ITIMER_PROF, 0.0005)
                function(*args)
            except RecursionError:
                failed = True
                raise

        signal.signal(signal.SIGPROF, call_again)
        signal.setitimer(signal.ITIMER_PROF, 0.0005)
        try:
            function(*args)
        except RecursionError as error:
            print(str(error).startswith("maximum recursion depth exceeded"), nested > 100)
        signal.setitimer(signal.ITIMER_PROF, 0)
        print(q.width_data(3, [(0, 2), (1, 2)]))
    """
    result = run_isolated(code, memory_limit_gb=3, cap_optional=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["True", "True", "2"]


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
