import functools
import math
import random
import signal
import textwrap

import _quorvane_rust as q
import pytest
from hypothesis import assume, given
from hypothesis import strategies as st

from families import family_members, linked_grids, narrow_orders
from isolation import run_isolated
from model import ideals as model
from model.order import INDEX_OUT_OF_RANGE, NOT_TOPOLOGICAL, strictly_above
from strategies import chain, edge_lists, outcome, posets

U64_MAX = 2**64 - 1
caps = st.one_of(st.none(), st.integers(0, 40), st.integers(0, 20_000), st.just(U64_MAX))


def disjoint_chains(count, length, common_bottom=False):
    """Chains of `length` elements; with a common bottom element 0 below all of them."""
    first = 1 if common_bottom else 0
    edges = [(first + c * length + i, first + c * length + i + 1) for c in range(count) for i in range(length - 1)]
    if common_bottom:
        edges += [(0, 1 + c * length) for c in range(count)]
    return first + count * length, edges


def ladder(rungs):
    """Chains c_0 < ... < c_(k-1) and d_0 < ... < d_(k-1) with c_i < a_i < d_i: the a_i are
    pairwise incomparable, yet every height and depth level holds at most three elements,
    and there are about 2^k ideals."""
    c = list(range(rungs))
    a = [rungs + i for i in range(rungs)]
    d = [2 * rungs + i for i in range(rungs)]
    edges = [(c[i], c[i + 1]) for i in range(rungs - 1)] + [(d[i], d[i + 1]) for i in range(rungs - 1)]
    edges += [(c[i], a[i]) for i in range(rungs)] + [(a[i], d[i]) for i in range(rungs)]
    return 3 * rungs, edges


def young_diagram(shape):
    """Cells of a Young diagram, numbered row by row, each below its right and lower neighbours."""
    index = {}
    for r, length in enumerate(shape):
        for c in range(length):
            index[r, c] = len(index)
    edges = [(v, index[r, c + 1]) for (r, c), v in index.items() if (r, c + 1) in index]
    edges += [(v, index[r + 1, c]) for (r, c), v in index.items() if (r + 1, c) in index]
    return len(index), edges


def hook_length_count(shape):
    columns = [sum(1 for length in shape if length > c) for c in range(shape[0])]
    hooks = math.prod(shape[r] - c + columns[c] - r - 1 for r in range(len(shape)) for c in range(shape[r]))
    return math.factorial(sum(shape)) // hooks


def random_bipartite(side, density, seed=1):
    """Two layers of `side` elements, each pair linked with probability `density`: very many ideals."""
    rng = random.Random(seed)
    return 2 * side, [(a, side + b) for a in range(side) for b in range(side) if rng.random() < density]


@functools.cache
def gaussian_binomial(rows, cols):
    """Coefficients of the q-binomial [rows + cols choose rows]: ideals of a rows x cols grid by size."""
    if rows == 0 or cols == 0:
        return [1]
    fewer_rows = gaussian_binomial(rows - 1, cols) + [0] * cols
    fewer_cols = [0] * rows + gaussian_binomial(rows, cols - 1)
    return [a + b for a, b in zip(fewer_rows, fewer_cols)]


def induced(edges, keep):
    """The sub-poset on the convex set `keep`, renumbered in order."""
    number = {v: k for k, v in enumerate(sorted(keep))}
    return len(keep), [(number[a], number[b]) for a, b in edges if a in number and b in number]


def few_ideals(n, edges, limit=50_000):
    return sum(q.lattice_layer_sizes(n, edges)) <= limit


def polynomial_product(left, right):
    product = [0] * (len(left) + len(right) - 1)
    for i, a in enumerate(left):
        for j, b in enumerate(right):
            product[i + j] += a * b
    return product


# Model comparisons: small posets, so that the models' explicit ideals stay few.


@given(posets(max_n=14))
def test_layer_sizes_match_model(poset):
    n, edges = poset
    assert outcome(q.lattice_layer_sizes, n, edges) == outcome(model.lattice_layer_sizes, n, edges)


# Narrow orders beyond a few hundred ideals have them counted by chain coordinates.
@pytest.mark.cross
@given(narrow_orders(radix_product=2**14))
def test_layer_sizes_of_narrow_orders_match_model(poset):
    assert outcome(q.lattice_layer_sizes, *poset) == outcome(model.lattice_layer_sizes, *poset)


@given(posets(max_n=14), caps)
def test_extension_count_matches_model(poset, max_states):
    n, edges = poset
    expected = outcome(model.linear_extension_count_data, n, edges, max_states)
    assert outcome(q.linear_extension_count_data, n, edges, max_states) == expected


@given(edge_lists(max_n=12))
def test_invalid_edges_match_model(poset):
    n, edges = poset
    assert outcome(q.lattice_layer_sizes, n, edges) == outcome(model.lattice_layer_sizes, n, edges)
    for max_states in (None, 0):
        expected = outcome(model.linear_extension_count_data, n, edges, max_states)
        assert outcome(q.linear_extension_count_data, n, edges, max_states) == expected


@given(posets(max_n=40, min_n=10))
def test_extension_count_methods_agree(poset):
    """Without a limit the count comes from components and a sweep; with one, from the recursion."""
    n, edges = poset
    assume(few_ideals(n, edges))
    assert outcome(q.linear_extension_count_data, n, edges) == outcome(
        q.linear_extension_count_data, n, edges, U64_MAX
    )


# Laws on posets of any size, checked through the module itself.


# Grids have their ideals counted chain by chain, the parts often otherwise.
@given(st.one_of(posets(max_n=128), linked_grids()), st.data())
def test_layer_sizes_split_at_an_element(poset, data):
    """J(P) = J(P without the filter of x) + q^|ideal of x| J(P without the ideal of x)."""
    n, edges = poset
    assume(n > 0)
    x = data.draw(st.integers(0, n - 1))
    above = strictly_above(n, edges)
    filter_ = {x} | above[x]
    ideal = {y for y in range(n) if x in above[y]} | {x}
    without_filter = q.lattice_layer_sizes(*induced(edges, set(range(n)) - filter_))
    without_ideal = q.lattice_layer_sizes(*induced(edges, set(range(n)) - ideal))
    expected = without_filter + [0] * len(filter_)
    for size, count in enumerate(without_ideal):
        expected[len(ideal) + size] += count
    assert q.lattice_layer_sizes(n, edges) == expected


@given(posets(max_n=64), posets(max_n=64))
def test_layer_sizes_multiply_over_disjoint_union(first, second):
    (n, edges), (m, more) = first, second
    union = edges + [(a + n, b + n) for a, b in more]
    assert q.lattice_layer_sizes(n + m, union) == polynomial_product(
        q.lattice_layer_sizes(n, edges), q.lattice_layer_sizes(m, more)
    )


@given(posets(max_n=128))
def test_layer_sizes_of_the_dual_are_reversed(poset):
    n, edges = poset
    dual = [(n - 1 - b, n - 1 - a) for a, b in edges]
    assert q.lattice_layer_sizes(n, dual) == q.lattice_layer_sizes(n, edges)[::-1]


@given(posets(max_n=128))
def test_extension_count_sums_over_minimal_elements(poset):
    """Every linear extension starts with a minimal element; the sum crosses 2^128 exactly when the count fails."""
    n, edges = poset
    assume(n > 0)
    minimal = set(range(n)) - {b for _, b in edges}
    assume(len(minimal) <= 8 and few_ideals(n, edges))
    outcomes = [outcome(q.linear_extension_count_data, *induced(edges, set(range(n)) - {x})) for x in minimal]
    if any(result[0] == "error" for result in outcomes):
        expected = ("error", "ValueError", model.COUNT_OVERFLOW)
    else:
        total = sum(result[1][1] for result in outcomes)
        expected = ("ok", ("int", total)) if total <= model.U128_MAX else ("error", "ValueError", model.COUNT_OVERFLOW)
    assert outcome(q.linear_extension_count_data, n, edges) == expected


@given(posets(max_n=64), posets(max_n=64))
def test_extension_count_of_disjoint_union_interleaves(first, second):
    (n, edges), (m, more) = first, second
    assume(few_ideals(n, edges) and few_ideals(m, more))
    union = edges + [(a + n, b + n) for a, b in more]
    parts = [outcome(q.linear_extension_count_data, n, edges), outcome(q.linear_extension_count_data, m, more)]
    assume(all(result[0] == "ok" for result in parts))
    total = math.comb(n + m, n) * parts[0][1][1] * parts[1][1][1]
    expected = ("ok", ("int", total)) if total <= model.U128_MAX else ("error", "ValueError", model.COUNT_OVERFLOW)
    assert outcome(q.linear_extension_count_data, n + m, union) == expected


# Layer sizes by every method. Posets of at most 256 ideals are walked, the
# others go down the pivot recursion; an antichain of 14 elements beside any
# poset sends it down the recursion and multiplies its layer sizes by a
# binomial row.

BESIDE = 14


def beside_antichain(poset):
    n, edges = poset
    return n + BESIDE, edges


def times_binomial_row(sizes):
    return polynomial_product(sizes, [math.comb(BESIDE, k) for k in range(BESIDE + 1)])


@st.composite
def stacked_members(draw):
    """Up to four family members of at most six elements, each wholly below the next: at
    most 4 * 2^6 ideals (those of a stack add up), so walked, however many elements."""
    n, edges = 0, []
    for _ in range(draw(st.integers(1, 4))):
        size, part = draw(family_members(max_n=6, min_n=1))
        edges += [(a, n + b) for a in range(n) for b in range(size)] + [(n + a, n + b) for a, b in part]
        n += size
    return n, edges


@st.composite
def grid_shapes(draw, room=128):
    shapes = []
    while room > 0 and (not shapes or draw(st.booleans())):
        rows = draw(st.integers(1, min(room, 12)))
        shapes.append((rows, draw(st.integers(1, room // rows))))
        room -= shapes[-1][0] * shapes[-1][1]
    return shapes


@given(family_members(max_n=8))
def test_walked_layer_sizes_match_brute_force(poset):
    assert q.lattice_layer_sizes(*poset) == model.lattice_layer_sizes(*poset)


@given(family_members(max_n=10))
def test_recursion_layer_sizes_match_brute_force(poset):
    assert q.lattice_layer_sizes(*beside_antichain(poset)) == times_binomial_row(model.lattice_layer_sizes(*poset))


@given(stacked_members())
def test_recursion_layer_sizes_match_walk(poset):
    assert q.lattice_layer_sizes(*beside_antichain(poset)) == times_binomial_row(q.lattice_layer_sizes(*poset))


@st.composite
def sparse_two_levels(draw):
    """A sparse random order of two levels beside zigzag paths and crowns (cycles of
    comparabilities); the lower elements numbered first."""
    lower = upper = 0
    pairs = []
    for _ in range(draw(st.integers(0, 3))):
        length = draw(st.integers(2, 8))
        closed = length > 2 and draw(st.booleans())
        pairs += [(lower + i, upper + i) for i in range(length)]
        pairs += [(lower + i + 1, upper + i) for i in range(length - 1)] + [(lower, upper + length - 1)] * closed
        lower, upper = lower + length, upper + length
    extra_lower, extra_upper = draw(st.integers(0, 24)), draw(st.integers(0, 24))
    density = draw(st.sampled_from([0.05, 0.1, 0.2]))
    rng = draw(st.randoms(use_true_random=False))
    pairs += [(a, b) for a in range(lower + extra_lower) for b in range(upper + extra_upper) if rng.random() < density]
    lower, upper = lower + extra_lower, upper + extra_upper
    return lower + upper, [(a, lower + b) for a, b in pairs]


@given(sparse_two_levels())
def test_pivots_of_two_levels_agree_with_the_general_ones(poset):
    """A three-element chain beside an order of two levels sends the call down the general pivot rule."""
    n, edges = poset
    with_chain = edges + [(n, n + 1), (n + 1, n + 2)]
    assert q.lattice_layer_sizes(n + 3, with_chain) == polynomial_product(q.lattice_layer_sizes(n, edges), [1, 1, 1, 1])


@st.composite
def narrow_upper_levels(draw):
    """A two-level order of up to 100 lower elements below up to 10 upper ones, largely
    connected: its recursion meets connected sets of many elements."""
    lower, upper = draw(st.integers(30, 100)), draw(st.integers(1, 10))
    density = draw(st.sampled_from([0.05, 0.1, 0.2]))
    rng = draw(st.randoms(use_true_random=False))
    return lower, upper, [(a, lower + b) for a in range(lower) for b in range(upper) if rng.random() < density]


def layer_sizes_over_upper_subsets(lower, upper, edges):
    """Each set B of upper elements lies in the ideals holding B and all its predecessors,
    and any of the other lower elements."""
    predecessors = [0] * upper
    for a, b in edges:
        predecessors[b - lower] |= 1 << a
    sizes = [0] * (lower + upper + 1)
    for chosen in range(1 << upper):
        forced = functools.reduce(lambda mask, b: mask | predecessors[b], (b for b in range(upper) if chosen >> b & 1), 0)
        free = lower - forced.bit_count()
        for k in range(free + 1):
            sizes[chosen.bit_count() + forced.bit_count() + k] += math.comb(free, k)
    return sizes


@given(narrow_upper_levels())
def test_layer_sizes_of_two_levels_match_sums_over_the_upper_level(poset):
    lower, upper, edges = poset
    assert q.lattice_layer_sizes(lower + upper, edges) == layer_sizes_over_upper_subsets(lower, upper, edges)


@given(grid_shapes())
def test_unions_of_grids_follow_gaussian_binomials(shapes):
    """Grids and chains (grids of one row) side by side: products of Gaussian binomials and q-integers."""
    n, edges, expected = 0, [], [1]
    for rows, cols in shapes:
        size, part = young_diagram((cols,) * rows)
        edges += [(n + a, n + b) for a, b in part]
        n += size
        expected = polynomial_product(expected, gaussian_binomial(rows, cols))
    assert q.lattice_layer_sizes(n, edges) == expected


# Closed forms.


@pytest.mark.parametrize("n", [0, 1, 2, 12, 13, 14, 20, 63, 64, 65, 127, 128])
def test_antichain_layers_are_binomial(n):
    assert q.lattice_layer_sizes(n, []) == [math.comb(n, k) for k in range(n + 1)]


@pytest.mark.parametrize("shape", [(1,), (3, 2, 1), (4, 4, 4), (5, 3, 3, 1), (8, 8), (6, 6, 6, 6, 6, 6), (16,) * 4])
@pytest.mark.parametrize("max_states", [None, U64_MAX])
def test_young_diagram_counts_follow_hook_lengths(shape, max_states):
    assert q.linear_extension_count_data(*young_diagram(shape), max_states) == hook_length_count(shape)


# Grids of 32 to 65 elements: the recursion meets sets on both sides of each change of coefficient width.
@pytest.mark.parametrize("rows, cols", [(1, 7), (2, 64), (3, 5), (8, 16), (11, 11), (4, 8), (3, 11), (7, 9), (4, 16), (5, 13)])
def test_grid_layers_are_gaussian_binomial(rows, cols):
    assert q.lattice_layer_sizes(*young_diagram((cols,) * rows)) == gaussian_binomial(rows, cols)


@pytest.mark.parametrize(
    "poset, expected",
    [
        (disjoint_chains(2, 64), math.comb(128, 64)),
        (disjoint_chains(4, 32), None),
        (disjoint_chains(3, 28, common_bottom=True), math.factorial(84) // math.factorial(28) ** 3),
        (disjoint_chains(3, 29, common_bottom=True), None),
        ((34, []), math.factorial(34)),
        ((35, []), None),
        (young_diagram((16,) * 8), None),
    ],
    ids=["two 64-chains", "four 32-chains", "3x28 over a bottom", "3x29 over a bottom", "34 free", "35 free", "8x16"],
)
def test_counts_at_the_u128_boundary(poset, expected):
    n, edges = poset
    if expected is None:
        with pytest.raises(ValueError, match="^linear extension count exceeded u128$"):
            q.linear_extension_count_data(n, edges)
    else:
        assert q.linear_extension_count_data(n, edges) == expected


@pytest.mark.parametrize("poset", [disjoint_chains(2, 64), disjoint_chains(4, 32), disjoint_chains(3, 42)])
def test_capped_counts_at_the_u128_boundary(poset):
    assert outcome(q.linear_extension_count_data, *poset, U64_MAX) == outcome(q.linear_extension_count_data, *poset)


def test_limit_and_overflow_race_as_the_recursion_meets_them():
    """Three 42-chains overflow late in the recursion: caps just below and above that point decide the error."""
    n, edges = disjoint_chains(3, 42)
    last_new_state = 23_950  # finished states when the last new state before the overflow is entered
    for max_states, message in [
        (last_new_state, model.STATE_LIMIT),
        (last_new_state + 1, model.COUNT_OVERFLOW),
    ]:
        assert outcome(model.linear_extension_count_data, n, edges, max_states)[2] == message
        assert outcome(q.linear_extension_count_data, n, edges, max_states) == ("error", "ValueError", message)


# Examples and limits.


@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (0, [], [1]),
        (3, [], [1, 3, 3, 1]),
        (*chain(3), [1, 1, 1, 1]),
        (3, [(0, 1), (1, 2), (0, 2), (0, 1)], [1, 1, 1, 1]),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], [1, 1, 2, 1, 1]),
        (5, [(0, 2), (1, 2), (2, 3), (2, 4)], [1, 2, 1, 1, 2, 1]),
        (*chain(128), [1] * 129),
    ],
)
def test_layer_size_examples(n, edges, expected):
    assert q.lattice_layer_sizes(n, edges) == expected


@pytest.mark.parametrize(
    "n, edges, max_states, expected",
    [
        (0, [], None, 1),
        (0, [], 0, 1),
        (3, [], None, 6),
        (*chain(3), None, 1),
        (*chain(3), 1, 1),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], None, 2),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], 3, 2),
        (2, [], 2, 2),
        (3, [], 6, 6),
        (*chain(128), 0, model.STATE_LIMIT),
        (*chain(128), 1, 1),
        (1, [], 0, model.STATE_LIMIT),
        (2, [], 1, model.STATE_LIMIT),
        (3, [], 5, model.STATE_LIMIT),
        (4, [(0, 1), (0, 2), (1, 3), (2, 3)], 2, model.STATE_LIMIT),
    ],
)
def test_extension_count_examples(n, edges, max_states, expected):
    assert outcome(q.linear_extension_count_data, n, edges, max_states) == outcome(
        model.linear_extension_count_data, n, edges, max_states
    )
    if isinstance(expected, str):
        with pytest.raises(ValueError, match=f"^{expected}$"):
            q.linear_extension_count_data(n, edges, max_states=max_states)
    else:
        assert q.linear_extension_count_data(n, edges, max_states=max_states) == expected


@pytest.mark.parametrize(
    "function, message", [(q.lattice_layer_sizes, model.LAYER_LIMIT), (q.linear_extension_count_data, model.EXTENSION_LIMIT)]
)
@pytest.mark.parametrize(
    "n, edges, expected",
    [
        (129, [], "limit"),
        (129, [(0, 200), (5, 1)], "limit"),
        (2**64 - 1, [], "limit"),
        (0, [(0, 0)], INDEX_OUT_OF_RANGE),
        (3, [(2, 1), (0, 5)], NOT_TOPOLOGICAL),
        (3, [(0, 5), (2, 1)], INDEX_OUT_OF_RANGE),
        (3, [(1, 1)], NOT_TOPOLOGICAL),
        (128, [(127, 128)], INDEX_OUT_OF_RANGE),
    ],
)
def test_errors_in_order(function, message, n, edges, expected):
    with pytest.raises(ValueError) as error:
        function(n, edges)
    assert str(error.value) == (message if expected == "limit" else expected)


def test_max_states_binding():
    assert q.linear_extension_count_data(3, [], None) == q.linear_extension_count_data(3, []) == 6
    with pytest.raises(OverflowError):
        q.linear_extension_count_data(3, [], -1)
    with pytest.raises(OverflowError):
        q.linear_extension_count_data(3, [], 2**64)
    with pytest.raises(TypeError, match="^argument 'max_states': 'float' object cannot be interpreted as an integer$"):
        q.linear_extension_count_data(3, [], max_states=2.0)


# Long calls stop on a signal; exhausted memory leaves the interpreter usable.


class Stop(Exception):
    pass


@pytest.mark.parametrize(
    "call",
    [
        lambda: q.lattice_layer_sizes(*random_bipartite(64, 0.15)),
        lambda: q.linear_extension_count_data(*random_bipartite(20, 0.3)),  # fits in 128 bits: every ideal is swept
        lambda: q.linear_extension_count_data(40, [], U64_MAX),
    ],
    ids=["layer sizes", "sweep", "recursion"],
)
def test_long_calls_are_interruptible(call):
    def stop(signum, frame):
        raise Stop

    previous = signal.signal(signal.SIGALRM, stop)
    try:
        # Well inside the shortest call: the exhaustive sweep takes about 0.3 s.
        signal.setitimer(signal.ITIMER_REAL, 0.05)
        with pytest.raises(Stop):
            call()
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert q.lattice_layer_sizes(3, []) == [1, 3, 3, 1]


@pytest.mark.parametrize(
    "edges",
    [
        [(0, i) for i in range(1, 128)],  # 127 incomparable elements over a bottom
        [(i, 127) for i in range(127)],  # and under a top
        [(i, i + 1) for i in range(63)] + [(i, 64 + i) for i in range(64)],  # a comb of 64 maximal teeth
    ],
)
def test_wide_levels_overflow_without_visiting_ideals(edges):
    with pytest.raises(ValueError, match="^linear extension count exceeded u128$"):
        q.linear_extension_count_data(128, edges)


def test_hopeless_layer_sizes_end_in_memory_error():
    """A balanced two-layer order of average degree 10 needs more memo than a call may hold."""
    code = """
        import _quorvane_rust as q
        try:
            q.lattice_layer_sizes(*POSET)
        except MemoryError:
            print("MemoryError")
        print(*q.lattice_layer_sizes(3, []))
    """
    result = run_isolated(f"POSET = {random_bipartite(64, 0.15)!r}\n" + textwrap.dedent(code), timeout=600)
    assert result.stdout.split() == ["MemoryError", "1", "3", "3", "1"]


def test_memory_exhaustion_raises_memory_error():
    code = """
        import _quorvane_rust as q
        n, edges = LADDER
        for call in (lambda: q.linear_extension_count_data(n, edges), lambda: q.linear_extension_count_data(n, edges, 2**64 - 1)):
            try:
                call()
            except (MemoryError, ValueError) as error:
                print(type(error).__name__)
        print(q.linear_extension_count_data(3, []))
    """
    result = run_isolated(f"LADDER = {ladder(42)!r}\n" + textwrap.dedent(code), memory_limit_gb=0.5, timeout=600)
    # Without a cap the overflow is decided within the memory; the recursion's memo outgrows it.
    assert result.stdout.split() == ["ValueError", "MemoryError", "6"]


def test_ladders_beyond_u128_overflow_in_bounded_memory():
    """Their hook bounds fall far short and their middle layers hold millions of ideals."""
    code = """
        import _quorvane_rust as q
        for n, edges in LADDERS:
            try:
                q.linear_extension_count_data(n, edges)
            except (MemoryError, ValueError) as error:
                print(f"{type(error).__name__}: {error}")
    """
    ladders = [ladder(rungs) for rungs in (24, 27, 31)]
    result = run_isolated(f"LADDERS = {ladders!r}\n" + textwrap.dedent(code), memory_limit_gb=0.5, cap_optional=True)
    assert result.stdout.splitlines() == ["ValueError: linear extension count exceeded u128"] * 3
