"""Memory exhaustion, interrupts, threads and interpreters."""

import subprocess
import sys
import textwrap
import threading

import _quorvane_rust as q
import pytest

from isolation import run_isolated
from signatures import FUNCTIONS, valid_arguments

LANDED = [name for name in FUNCTIONS if hasattr(q, name)]


def huge_arguments(name, n):
    args = valid_arguments(name, 2)
    args[0] = n
    return args


# Past the dense rows' memory these answer in memory that follows the edges:
# ten million elements with one edge take them seconds.
ANSWER_PAST_THE_ROWS = {"principal_ideal_filter_sizes", "zeta_summary_data", "width_data"}


@pytest.mark.parametrize("n", [10**7, 10**12, 2**63])
def test_huge_element_counts_fail_cleanly(n):
    calls = "\n".join(
        f"""
try:
    q.{name}(*{huge_arguments(name, n)!r})
    print("{name}", "ok")
except Exception as error:
    print("{name}", type(error).__name__)
"""
        for name in LANDED
    )
    result = run_isolated("import _quorvane_rust as q\n" + calls)
    assert result.returncode == 0, result.stderr
    outcomes = dict(line.split() for line in result.stdout.splitlines())
    assert set(outcomes) == set(LANDED)
    answered = {name for name, kind in outcomes.items() if kind == "ok"}
    assert answered == (ANSWER_PAST_THE_ROWS if n == 10**7 else set()), outcomes
    assert all(kind in ("MemoryError", "ValueError") for name, kind in outcomes.items() if name not in answered)


def test_threads_agree_with_serial_calls():
    calls = [(getattr(q, name), valid_arguments(name, n)) for name in LANDED for n in (1, 5, 70)]
    expected = [repr(function(*args)) for function, args in calls]
    failures = []

    def worker():
        for _ in range(20):
            if [repr(function(*args)) for function, args in calls] != expected:
                failures.append(True)

    threads = [threading.Thread(target=worker) for _ in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures


def test_import_into_a_second_interpreter_fails():
    code = """
        import _quorvane_rust
        try:
            import _testcapi
        except ImportError:
            print("skip")
            raise SystemExit
        import os, tempfile
        path = tempfile.mktemp()
        script = f"try:\\n import _quorvane_rust\\nexcept ImportError as e:\\n open({path!r}, 'w').write(str(e))"
        _testcapi.run_in_subinterp(script)
        print(open(path).read() if os.path.exists(path) else "imported")
    """
    result = run_isolated(code, memory_limit_gb=8)
    assert result.returncode == 0, result.stderr
    if result.stdout.strip() == "skip":
        pytest.skip("this interpreter has no sub-interpreter test facility")
    assert "more than one interpreter" in result.stdout


INTERRUPTIBLE_CALLS = {
    "zeta_transform_data": "q.zeta_transform_data(60000, [(i, i + 1) for i in range(59999)], [1.0] * 60000)",
    "interval_summary_data": "q.interval_summary_data(20000, [(i, i + 1) for i in range(19999)])",
    "linear_extension_count_data": "q.linear_extension_count_data(60, [], 10**12)",
}


@pytest.mark.parametrize("name", [name for name in INTERRUPTIBLE_CALLS if name in LANDED])
def test_a_timer_signal_interrupts_a_long_call(name):
    code = f"""
        import signal, time
        import _quorvane_rust as q

        def interrupt(signum, frame):
            raise KeyboardInterrupt

        signal.signal(signal.SIGALRM, interrupt)
        signal.setitimer(signal.ITIMER_REAL, 0.3)
        start = time.monotonic()
        try:
            {INTERRUPTIBLE_CALLS[name]}
        except KeyboardInterrupt:
            print("interrupted", time.monotonic() - start)
        print(q.width_data(3, [(0, 2), (1, 2)]))
    """
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.split("\n")
    assert lines[0].startswith("interrupted")
    assert lines[1] == "2"


def test_outputs_larger_than_memory_fail_before_they_are_built():
    code = """
        import _quorvane_rust as q
        n = 100_000
        for call in (lambda: q.mobius_matrix_data(n, []),
                     lambda: q.transitive_successor_closure(n, [(i, i + 1) for i in range(n - 1)])):
            try:
                call()
            except MemoryError:
                print("MemoryError")
    """
    result = run_isolated(code, memory_limit_gb=8)
    assert result.stdout.split() == ["MemoryError", "MemoryError"], result.stderr


def test_memory_running_out_inside_a_kernel_raises_memory_error():
    # The Möbius entries of a Boolean lattice outgrow a few megabytes while
    # the kernel runs, in whichever variant the CPU selected.
    code = """
        import os
        import resource
        import _quorvane_rust as q

        bits = 12
        n = 1 << bits
        edges = [(s, s | (1 << b)) for s in range(n) for b in range(bits) if not s & (1 << b)]
        used = int(open("/proc/self/statm").read().split()[0]) * os.sysconf("SC_PAGESIZE")
        resource.setrlimit(resource.RLIMIT_AS, (used + 8 * 2**20, resource.getrlimit(resource.RLIMIT_AS)[1]))
        try:
            q.mobius_matrix_data(n, edges)
        except MemoryError:
            print("MemoryError")
        print(q.width_data(3, [(0, 2), (1, 2)]))
    """
    result = run_isolated(code)
    assert result.stdout.split() == ["MemoryError", "2"], result.stderr


def test_a_result_too_large_for_memory_is_refused_before_any_work():
    # No test machine holds 150,000^2 entries. The refusal comes at once, so
    # the timer, which would interrupt the work, never fires; errors in the
    # edges still come first.
    code = """
        import signal
        import _quorvane_rust as q

        def interrupt(signum, frame):
            raise KeyboardInterrupt

        signal.signal(signal.SIGALRM, interrupt)
        n = 150_000
        for edges in ([(i, i + 1) for i in range(n - 1)], [(5, 1)]):
            signal.setitimer(signal.ITIMER_REAL, 1.0)
            try:
                q.mobius_matrix_data(n, edges)
            except BaseException as error:
                print(type(error).__name__)
            signal.setitimer(signal.ITIMER_REAL, 0)
    """
    result = run_isolated(code, memory_limit_gb=4, cap_optional=True)
    assert result.stdout.split() == ["MemoryError", "ValueError"], result.stderr
