from .order import strictly_above


def principal_ideal_filter_sizes(n, edges):
    above = strictly_above(n, edges)
    ideal = [1 + sum(y in above[x] for x in range(n)) for y in range(n)]
    filter_ = [1 + len(above[x]) for x in range(n)]
    return ideal, filter_


def zeta_summary_data(n, edges):
    ideal, filter_ = principal_ideal_filter_sizes(n, edges)
    pairs = sum(len(s) for s in strictly_above(n, edges))
    return pairs, ideal, filter_
