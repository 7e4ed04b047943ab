"""Orders past the memory budget: sizes over chain coordinates or a block of
columns at a time, zeta sums a block at a time, width as the fewest chains
along the edges. The budget is lowered through the module's private
`_memory_budget`, so that small orders take those methods, and each is
compared with the model."""

import contextlib
import math
import random
import struct
import textwrap
from pathlib import Path

import _quorvane_rust as q
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from isolation import run_isolated
from model import sizes as sizes_model
from model import width as width_model
from model import zeta as zeta_model
from strategies import chain, edge_lists, finite_floats, outcome, posets, special_floats


@contextlib.contextmanager
def memory_budget(budget):
    q._memory_budget = budget
    try:
        yield
    finally:
        del q._memory_budget


def dense_bytes(n):
    return n * (-(-n // 64)) * 8


# Budgets as a share of what the rows would take, all short of it: the
# least leaves blocks of one word of columns and no room for chain
# coordinates; with most of it, narrow orders are counted over chain
# coordinates.
below_the_rows = st.sampled_from([0.0, 0.01, 0.3, 1.0])
# No more than the profile asks for: the cross-section runs these under emulated CPUs.
CROSS_EXAMPLES = min(100, settings().max_examples)


def one_word_a_row(n):
    """The least budget with room for blocks of one word of columns."""
    return 8 * n


def budget_below_the_rows(n, share):
    """Up to 64 elements the rows are one word each: they fit wherever blocks do."""
    if dense_bytes(n) <= one_word_a_row(n):
        return dense_bytes(n)
    return max(one_word_a_row(n), int(share * (dense_bytes(n) - 1)))


@pytest.mark.cross
@settings(max_examples=CROSS_EXAMPLES)
@given(posets(max_n=200), below_the_rows)
def test_sizes_by_column_blocks_match_model(poset, budget):
    n, edges = poset
    with memory_budget(budget_below_the_rows(n, budget)):
        assert outcome(q.principal_ideal_filter_sizes, n, edges) == outcome(
            sizes_model.principal_ideal_filter_sizes, n, edges
        )
        assert outcome(q.zeta_summary_data, n, edges) == outcome(sizes_model.zeta_summary_data, n, edges)


@pytest.mark.cross
@settings(max_examples=CROSS_EXAMPLES)
@given(posets(max_n=200), below_the_rows, st.data())
def test_zeta_sums_by_column_blocks_match_model(poset, budget, data):
    n, edges = poset
    values = data.draw(st.lists(st.one_of(finite_floats, special_floats), min_size=n, max_size=n))
    with memory_budget(budget_below_the_rows(n, budget)):
        for name in ("zeta_transform_data", "strict_zeta_transform_data"):
            assert outcome(getattr(q, name), n, edges, values) == outcome(getattr(zeta_model, name), n, edges, values)


@pytest.mark.cross
@settings(max_examples=CROSS_EXAMPLES)
@given(posets(max_n=90), below_the_rows)
def test_width_by_chain_cover_matches_model(poset, budget):
    n, edges = poset
    with memory_budget(budget_below_the_rows(n, budget)):
        assert outcome(q.width_data, n, edges) == outcome(width_model.width_data, n, edges)


@settings(max_examples=50)
@given(posets(max_n=200))
def test_rows_that_just_fit_and_just_do_not_agree(poset):
    n, edges = poset
    values = [float(i % 5) - 1.5 for i in range(n)]
    calls = [
        (q.zeta_summary_data, (n, edges)),
        (q.zeta_transform_data, (n, edges, values)),
        (q.width_data, (n, edges)),
    ]
    with memory_budget(dense_bytes(n)):
        fitting = [outcome(f, *args) for f, args in calls]
    with memory_budget(budget_below_the_rows(n, 1.0)):
        past = [outcome(f, *args) for f, args in calls]
    assert fitting == past


@given(edge_lists())
def test_errors_past_the_budget_match_model(poset):
    n, edges = poset
    values = [1.0] * n
    with memory_budget(budget_below_the_rows(n, 0.0)):
        assert outcome(q.zeta_summary_data, n, edges) == outcome(sizes_model.zeta_summary_data, n, edges)
        assert outcome(q.width_data, n, edges) == outcome(width_model.width_data, n, edges)
        assert outcome(q.zeta_transform_data, n, edges, values) == outcome(zeta_model.zeta_transform_data, n, edges, values)
        # The value count is checked before the edges.
        assert outcome(q.strict_zeta_transform_data, n, edges, values + [0.0]) == outcome(
            zeta_model.strict_zeta_transform_data, n, edges, values + [0.0]
        )


def random_order(n, degree, seed):
    rng = random.Random(seed)
    return n, sorted({(i, rng.randrange(i + 1, n)) for i in range(n - 1) for _ in range(degree)})


def lines_side_by_side(n, lines, seed):
    """Commits on parallel lines, now and then merging another line's head."""
    rng = random.Random(seed)
    edges = [(i, i + lines) for i in range(n - lines)]
    edges += [(i, i + rng.randrange(1, 2 * lines)) for i in range(0, n - 2 * lines, 5)]
    return n, sorted(set(edges))


# A signalling NaN among the values: a sum that starts from it and takes no
# term must keep it as it is.
SIGNALLING_NAN = struct.unpack("<d", struct.pack("<Q", 0x7FF0_0000_0000_0001))[0]


@pytest.mark.parametrize("order", [random_order(2500, 2, 0), random_order(1500, 6, 1), lines_side_by_side(3000, 40, 2)])
@pytest.mark.parametrize("block_words", [2, 3])
def test_zeta_sums_over_blocks_of_several_words_match_the_rows(order, block_words):
    n, edges = order
    rng = random.Random(n)
    specials = [0.0, -0.0, math.inf, -math.inf, math.nan, -math.nan, SIGNALLING_NAN]
    values = [rng.choice(specials) if rng.random() < 0.002 else rng.uniform(-1e16, 1e16) for _ in range(n)]
    values[-1] = SIGNALLING_NAN
    for name in ("zeta_transform_data", "strict_zeta_transform_data"):
        rows = outcome(getattr(q, name), n, edges, values)
        # Blocks of that many words of columns fill an eighth of the budget.
        with memory_budget(8 * 8 * block_words * n):
            assert outcome(getattr(q, name), n, edges, values) == rows


@pytest.mark.parametrize(
    "n, edges, width",
    [
        (0, [], 0),
        (5, [], 5),
        (*chain(300), 1),
        # Chains must pass through elements that others cover: 0 < 2 < 4 and
        # 1 < 2 < 3 take two chains that share 2.
        (5, [(0, 2), (1, 2), (2, 3), (2, 4)], 2),
        # The greedy cover takes 0 < 1 < 3 first and leaves 2 and 4 apart.
        (5, [(0, 1), (1, 3), (0, 2), (2, 4), (1, 4)], 2),
    ],
)
def test_width_by_chain_cover_examples(n, edges, width):
    with memory_budget(0):
        assert q.width_data(n, edges) == width


@pytest.mark.parametrize(
    "n, edges",
    [
        chain(300),
        # Lines side by side, joined now and then, as a commit history.
        (240, [(i, i + 3) for i in range(237)] + [(i, i + 4) for i in range(0, 236, 7)]),
        # The first chains taken end below elements that start new ones.
        (200, [(i, i + 1) for i in range(0, 199, 2)] + [(i, i + 2) for i in range(198)]),
    ],
)
def test_sizes_of_narrow_orders_over_chain_coordinates_match_model(n, edges):
    with memory_budget(dense_bytes(n) - 1):
        assert q.zeta_summary_data(n, edges) == sizes_model.zeta_summary_data(n, edges)


@pytest.mark.parametrize(
    "call",
    [
        lambda n, edges: q.principal_ideal_filter_sizes(n, edges),
        lambda n, edges: q.zeta_summary_data(n, edges),
        lambda n, edges: q.zeta_transform_data(n, edges, [1.0] * n),
        lambda n, edges: q.strict_zeta_transform_data(n, edges, [1.0] * n),
    ],
)
def test_orders_too_large_even_for_blocks_of_one_word_raise_memory_error_after_the_edge_checks(call):
    n, edges = 300, [(0, 1), (1, 2)]
    with memory_budget(one_word_a_row(n) - 1):
        with pytest.raises(MemoryError):
            call(n, edges)
        with pytest.raises(ValueError, match="cover edge indices must follow topological order"):
            call(n, edges + [(2, 2)])
        # The width needs no blocks: its chains take memory in step with the edges.
        assert q.width_data(n, edges) == n - 2


def test_the_budget_is_not_part_of_the_surface():
    assert not hasattr(q, "_memory_budget")
    assert "_memory_budget" not in q.__all__


def test_every_method_agrees_on_a_package_graph_of_a_hundred_thousand_elements():
    # Rows that take 1.25 GB, blocks of 1,280 columns and of 64.
    code = textwrap.dedent(f"""
        import sys
        sys.path.insert(0, {str(Path(__file__).parent.parent / "bench")!r})
        import _quorvane_rust as q
        import workloads
        n, edges = workloads.package_graph(100_000, seed=3)
        values = [(-1.0) ** i * 2.0 ** (i % 70) for i in range(n)]
        def results():
            return (q.zeta_summary_data(n, edges), q.strict_zeta_transform_data(n, edges, values),
                    q.width_data(n, edges))
        dense = results()
        q._memory_budget = 1 << 27
        blocks = results()
        q._memory_budget = 8 * n
        words = results()
        print(repr(dense) == repr(blocks) == repr(words), dense[0][0], dense[2])
    """)
    result = run_isolated(code, memory_limit_gb=8, timeout=300, cap_optional=True)
    assert result.returncode == 0, result.stderr
    agree, pairs, width = result.stdout.split()
    assert agree == "True"
    assert int(pairs) > 0 and int(width) > 0
