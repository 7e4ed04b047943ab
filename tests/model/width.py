from .order import strictly_above


def width_data(n, edges):
    """n minus a maximum matching of the strict order, by plain augmenting paths."""
    above = strictly_above(n, edges)
    partner = {}  # right vertex -> left vertex

    def augment(x, visited):
        for y in sorted(above[x]):
            if y in visited:
                continue
            visited.add(y)
            if y not in partner or augment(partner[y], visited):
                partner[y] = x
                return True
        return False

    matched = sum(augment(x, set()) for x in range(n))
    return n - matched


def largest_antichain(n, edges):
    """By trying every subset: only for small n."""
    above = strictly_above(n, edges)
    best = 0
    for subset in range(1 << n):
        members = [i for i in range(n) if subset >> i & 1]
        if len(members) > best and all(b not in above[a] for a in members for b in members):
            best = len(members)
    return best
