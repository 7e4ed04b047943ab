"""The order relation as the module sees it: validation and strict up-sets."""

INDEX_OUT_OF_RANGE = "cover edge index is outside the element range"
NOT_TOPOLOGICAL = "cover edge indices must follow topological order"


def check_edges(n, edges):
    """Raise the error of the first edge that is out of range or not ascending."""
    for lower, upper in edges:
        if lower >= n or upper >= n:
            raise ValueError(INDEX_OUT_OF_RANGE)
        if lower >= upper:
            raise ValueError(NOT_TOPOLOGICAL)


def strictly_above(n, edges):
    """Validate the edges; return, for each element, the set of elements strictly above it."""
    check_edges(n, edges)
    successors = [set() for _ in range(n)]
    for lower, upper in edges:
        successors[lower].add(upper)
    above = [set() for _ in range(n)]
    for i in reversed(range(n)):
        for j in successors[i]:
            above[i] |= {j} | above[j]
    return above


def leq(above, x, y):
    return x == y or y in above[x]
