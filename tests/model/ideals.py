"""Order ideals by size and linear extensions, generated explicitly as element sets."""

from .order import check_edges

MAX_ELEMENTS = 128
LAYER_LIMIT = "Rust ideal layer generation currently supports at most 128 elements"
EXTENSION_LIMIT = "Rust linear extension counting currently supports at most 128 elements"
STATE_LIMIT = "linear extension state limit was exceeded"
COUNT_OVERFLOW = "linear extension count exceeded u128"
U128_MAX = (1 << 128) - 1


def cover_predecessor_masks(n, edges):
    check_edges(n, edges)
    masks = [0] * n
    for lower, upper in edges:
        masks[upper] |= 1 << lower
    return masks


def lattice_layer_sizes(n, edges):
    if n > MAX_ELEMENTS:
        raise ValueError(LAYER_LIMIT)
    predecessors = cover_predecessor_masks(n, edges)
    layer = [0]
    sizes = []
    while True:
        sizes.append(len(layer))
        candidates = [
            ideal | 1 << i
            for ideal in layer
            for i in range(n)
            if not ideal >> i & 1 and predecessors[i] & ~ideal == 0
        ]
        layer = sorted(set(candidates))
        if not layer:
            return sizes


def linear_extension_count_data(n, edges, max_states=None):
    if n > MAX_ELEMENTS:
        raise ValueError(EXTENSION_LIMIT)
    predecessors = cover_predecessor_masks(n, edges)
    memo = {}

    def count(remaining):
        if remaining == 0:
            return 1
        if remaining in memo:
            return memo[remaining]
        if max_states is not None and len(memo) >= max_states:
            raise ValueError(STATE_LIMIT)
        total = 0
        for i in range(n):
            if remaining >> i & 1 and predecessors[i] & remaining == 0:
                total += count(remaining & ~(1 << i))
                if total > U128_MAX:
                    raise ValueError(COUNT_OVERFLOW)
        memo[remaining] = total
        return total

    return count((1 << n) - 1)
