"""Uncapped linear extension counts against independent ways of counting.

Each test pairs the module's count without a state limit with one other way:
brute force, the capped recursion, the hook-length formulas for forests and
Young diagrams, and the product rule for a module. Family members are drawn at
sizes whose counts fall on both sides of 2^128.
"""

import itertools
import math

import _quorvane_rust as q
import pytest
from hypothesis import assume, given
from hypothesis import strategies as st

from families import family_members, narrow_orders
from model import ideals as model
from model.order import strictly_above
from strategies import outcome, posets
from test_ideals import hook_length_count, ladder, young_diagram

OVERFLOW = ("error", "ValueError", model.COUNT_OVERFLOW)
RECURSION_STATES = 20_000


def counted(count):
    return ("ok", ("int", count)) if count <= model.U128_MAX else OVERFLOW


@st.composite
def forests(draw):
    """Rooted forests up to 128 elements, roots at the bottom or at the top; deep or bushy."""
    n = draw(st.integers(1, 128))
    reach = draw(st.sampled_from([1, 2, 4, n]))  # how far back a parent may be
    root_chance = draw(st.sampled_from([0.0, 0.05, 0.3]))
    parents = [
        None if i == 0 or draw(st.floats(0, 1)) < root_chance else draw(st.integers(max(0, i - reach), i - 1))
        for i in range(n)
    ]
    edges = [(p, i) for i, p in enumerate(parents) if p is not None]
    if draw(st.booleans()):
        edges = [(n - 1 - i, n - 1 - p) for p, i in edges]
    return n, edges


def forest_hook_count(n, edges):
    """n! over the product of the subtree sizes, on the side where the forest branches."""
    above = strictly_above(n, edges)
    below = [{x for x in range(n) if y in above[x]} for y in range(n)]
    branches_up = all(sum(1 for a, b in edges if b == y) <= 1 for y in range(n))
    subtree = above if branches_up else below
    return math.factorial(n) // math.prod(len(s) + 1 for s in subtree)


def substitute(poset, x, part, as_chain=False):
    """The poset with element x replaced by `part` (or by a chain of its size), numbered in order."""
    (n, edges), (m, inner) = poset, part
    block = list(range(x, x + m))
    place = [y if y < x else y + m - 1 for y in range(n)]
    result = [(place[a], place[b]) for a, b in edges if x not in (a, b)]
    result += [(place[a], z) for a, b in edges if b == x for z in block]
    result += [(z, place[b]) for a, b in edges if a == x for z in block]
    result += [(x + i, x + i + 1) for i in range(m - 1)] if as_chain else [(x + a, x + b) for a, b in inner]
    return n + m - 1, result


@given(family_members(10, min_n=1))
def test_family_members_match_brute_force(poset):
    assert outcome(q.linear_extension_count_data, *poset) == outcome(model.linear_extension_count_data, *poset)


@given(family_members(48, min_n=11))
def test_family_members_match_the_recursion(poset):
    capped = outcome(q.linear_extension_count_data, *poset, RECURSION_STATES)
    assume(capped[-1] != model.STATE_LIMIT)
    assert outcome(q.linear_extension_count_data, *poset) == capped


@given(forests())
def test_forest_counts_follow_hook_lengths(forest):
    assert outcome(q.linear_extension_count_data, *forest) == counted(forest_hook_count(*forest))


@given(st.lists(st.integers(1, 40), min_size=1, max_size=8).map(lambda rows: sorted(rows, reverse=True)))
def test_young_diagram_counts_follow_hook_lengths(shape):
    assume(sum(shape) <= 128)
    assert outcome(q.linear_extension_count_data, *young_diagram(shape)) == counted(hook_length_count(shape))


@given(posets(max_n=20, min_n=1), posets(max_n=16, min_n=1), st.data())
def test_a_module_counts_apart_from_the_rest(poset, part, data):
    """e(P with x replaced by M) = e(P with x replaced by a chain of |M| elements) · e(M)."""
    x = data.draw(st.integers(0, poset[0] - 1))
    outside = outcome(q.linear_extension_count_data, *substitute(poset, x, part, as_chain=True))
    inside = outcome(q.linear_extension_count_data, *part)
    if OVERFLOW in (outside, inside):
        expected = OVERFLOW
    else:
        expected = counted(outside[1][1] * inside[1][1])
    assert outcome(q.linear_extension_count_data, *substitute(poset, x, part)) == expected


def disjoint_chains(*lengths):
    starts = [sum(lengths[:k]) for k in range(len(lengths))]
    return sum(lengths), [(s + i, s + i + 1) for s, length in zip(starts, lengths) for i in range(length - 1)]


def multinomial(*parts):
    return math.factorial(sum(parts)) // math.prod(math.factorial(p) for p in parts)


# Counts within a few parts in a hundred thousand of 2^128, on both sides: a
# lower bound that rounded the wrong way would call the first of each pair an overflow.
@pytest.mark.parametrize(
    "poset, count",
    [
        (young_diagram((89, 12, 12, 6)), hook_length_count((89, 12, 12, 6))),
        (young_diagram((27, 27, 15, 9)), hook_length_count((27, 27, 15, 9))),
        (disjoint_chains(36, 21, 5, 5, 4, 2), multinomial(36, 21, 5, 5, 4, 2)),
        (disjoint_chains(38, 10, 9, 7, 6, 1), multinomial(38, 10, 9, 7, 6, 1)),
    ],
    ids=["diagram below", "diagram above", "chains below", "chains above"],
)
def test_counts_a_hair_from_u128(poset, count):
    assert abs(count - 2**128) < 2**128 // 10**4
    assert outcome(q.linear_extension_count_data, *poset) == counted(count)


# Rows numbered first make the greedy chain cover the rows, whose multinomial
# bounds the count: just below 2^128 the count is taken as one that fits and
# swept without overflow bounds, just above it is swept with them.
@pytest.mark.parametrize("shape", [(35, 19, 10, 5, 4), (40, 31, 5, 4, 3)], ids=["cover fits", "cover overflows"])
def test_counts_on_either_side_of_the_chain_cover_bound(shape):
    assert abs(multinomial(*shape) - 2**128) < 2**128 // 10**3
    assert outcome(q.linear_extension_count_data, *young_diagram(shape)) == counted(hook_length_count(shape))


def fence(n):
    """The zigzag x_0 < x_1 > x_2 < ..., minima numbered first."""
    low = (n + 1) // 2
    label = [i // 2 if i % 2 == 0 else low + i // 2 for i in range(n)]
    return n, sorted((label[i], label[i + 1]) if i % 2 == 0 else (label[i + 1], label[i]) for i in range(n - 1))


def alternating_permutations(n):
    """By the boustrophedon triangle: a fence of n elements has this many linear extensions."""
    row = [1]
    for _ in range(n):
        row = list(itertools.accumulate(reversed(row), initial=0))
    return row[-1]


# Fences of 38 and 39 elements count 2^124.1 and 2^128.8 and have ideal layers
# wide enough for the sweep to bound the count from pruned copies of them.
@pytest.mark.parametrize("n", [1, 2, 9, 38, 39])
def test_fence_counts_are_alternating_permutations(n):
    assert outcome(q.linear_extension_count_data, *fence(n)) == counted(alternating_permutations(n))


@pytest.mark.parametrize("rungs", [1, 2, 5, 11])
def test_ladder_counts_match_the_model(rungs):
    poset = ladder(rungs)
    assert outcome(q.linear_extension_count_data, *poset) == outcome(model.linear_extension_count_data, *poset)


@st.composite
def random_rungs(draw):
    """Two chains of k elements joined by k rungs, each above a random step of
    one chain and below a random step of the other: wide orders whose ideals
    leave minimal elements behind."""
    k = draw(st.integers(2, 12))
    steps = st.integers(0, k - 1)
    edges = [(i, i + 1) for i in range(k - 1)] + [(2 * k + i, 2 * k + i + 1) for i in range(k - 1)]
    for rung in range(k, 2 * k):
        edges += [(draw(steps), rung), (rung, 2 * k + draw(steps))]
    return 3 * k, edges


@given(random_rungs())
def test_random_rungs_match_the_recursion(poset):
    capped = outcome(q.linear_extension_count_data, *poset, RECURSION_STATES)
    assume(capped[-1] != model.STATE_LIMIT)
    assert outcome(q.linear_extension_count_data, *poset) == capped


# Narrow orders are counted over their ideals' chain coordinates; some have
# counts close to 2^128 on either side.
@pytest.mark.cross
@given(narrow_orders(radix_product=2**15, near_u128=True))
def test_narrow_orders_match_the_recursion(poset):
    assert outcome(q.linear_extension_count_data, *poset) == outcome(q.linear_extension_count_data, *poset, 2**64 - 1)
