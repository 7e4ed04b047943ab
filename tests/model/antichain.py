"""Maximum-score antichain: the flow computation exactly as defined, and a brute force."""

import itertools
import math

from .order import strictly_above

SCORE_COUNT_MISMATCH = "score vector length must match the element count"
NON_FINITE_SCORE = "element scores must be finite numbers"
TOLERANCE = 1e-12


def max_antichain_score_data(n, edges, element_scores):
    scores = [float(s) for s in element_scores]
    if len(scores) != n:
        raise ValueError(SCORE_COUNT_MISMATCH)
    above = strictly_above(n, edges)
    if not all(math.isfinite(s) for s in scores):
        raise ValueError(NON_FINITE_SCORE)
    if n == 0:
        return 0.0
    weights = [s if s > 0 else 0.0 for s in scores]
    total = -0.0
    for w in weights:
        total += w
    if not total > TOLERANCE:
        return 0.0
    flow = Network(n, above, weights, total + 1.0).max_flow()
    score = total - flow
    return score if score > 0 else 0.0


class Network:
    """In-node i is i, out-node j is n + j, the source 2n, the sink 2n + 1.

    Each node holds its edges in insertion order as [target, pair position, residual].
    """

    def __init__(self, n, above, weights, large):
        self.source, self.sink = 2 * n, 2 * n + 1
        self.edges = [[] for _ in range(2 * n + 2)]
        for i in range(n):
            self.add(self.source, i, weights[i])
            self.add(n + i, self.sink, weights[i])
            for j in sorted(above[i]):
                self.add(i, n + j, large)

    def add(self, u, v, capacity):
        self.edges[u].append([v, len(self.edges[v]), capacity])
        self.edges[v].append([u, len(self.edges[u]) - 1, 0.0])

    def max_flow(self):
        flow = 0.0
        while self.level_graph():
            self.current = [0] * len(self.edges)
            while True:
                r = self.search(self.source, math.inf)
                if not r > TOLERANCE:
                    break
                flow += r
        return flow

    def level_graph(self):
        self.level = [-1] * len(self.edges)
        self.level[self.source] = 0
        queue = [self.source]
        for u in queue:  # the list grows while it is walked: first in, first out
            for v, _, residual in self.edges[u]:
                if residual > TOLERANCE and self.level[v] == -1:
                    self.level[v] = self.level[u] + 1
                    queue.append(v)
        return self.level[self.sink] != -1

    def search(self, u, amount):
        if u == self.sink:
            return amount
        edges = self.edges[u]
        while self.current[u] < len(edges):
            edge = edges[self.current[u]]
            v, pair, residual = edge
            if residual > TOLERANCE and self.level[v] == self.level[u] + 1:
                r = self.search(v, min(amount, residual))
                if r > TOLERANCE:
                    edge[2] -= r
                    self.edges[v][pair][2] += r
                    return r
            self.current[u] += 1
        return 0.0


def brute_force_score(n, edges, scores):
    """The best sum of positive scores over all antichains, by trying every subset."""
    above = strictly_above(n, edges)
    best = 0
    for size in range(1, n + 1):
        for subset in itertools.combinations(range(n), size):
            if all(y not in above[x] for x in subset for y in subset):
                best = max(best, sum(max(scores[x], 0) for x in subset))
    return best
