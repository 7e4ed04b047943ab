"""A package-dependency graph as real ones come: named packages, some of which
depend on each other in cycles. The module wants an order on elements 0 .. n-1
in which every edge runs from a smaller to a larger number, so each cycle is
condensed into one element and the elements are numbered topologically first.

    python examples/packages.py [PACKAGES] [SEED]
"""

import random
import sys

import _quorvane_rust as q


def package_graph(count, seed):
    """Package name -> the names it depends on. Most packages depend on a few
    popular base packages (the low numbers); now and then two depend on each other."""
    rng = random.Random(seed)
    names = [f"pkg{k:05d}" for k in range(count)]
    graph = {}
    for name in names:
        picks = {names[min(int(rng.paretovariate(1.2)) - 1, count - 1)] for _ in range(rng.randint(0, 4))}
        graph[name] = sorted(picks - {name})
    for _ in range(count // 50):
        a, b = rng.sample(names, 2)
        graph[a].append(b)
        graph[b].append(a)
    return graph


def strongly_connected_components(graph):
    """Tarjan's algorithm on an explicit stack (dependency chains can be deeper
    than Python's recursion limit). A component comes out after every
    component it depends on."""
    index, low, on_stack, stack, components = {}, {}, set(), [], []

    def enter(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        return node, iter(graph[node])

    for root in graph:
        if root in index:
            continue
        work = [enter(root)]
        while work:
            node, dependencies = work[-1]
            for dependency in dependencies:
                if dependency not in index:
                    work.append(enter(dependency))
                    break
                if dependency in on_stack:
                    low[node] = min(low[node], index[dependency])
            else:
                work.pop()
                if work:
                    parent = work[-1][0]
                    low[parent] = min(low[parent], low[node])
                if low[node] == index[node]:
                    component = []
                    while not component or component[-1] != node:
                        component.append(stack.pop())
                        on_stack.discard(component[-1])
                    components.append(component)
    return components


def condensed_order(graph):
    """Components numbered in the order Tarjan's algorithm finds them, so that
    a dependency always gets a smaller number than what depends on it, and the
    edges (dependency, dependant) between different components."""
    components = strongly_connected_components(graph)
    element = {name: k for k, component in enumerate(components) for name in component}
    edges = {(element[d], element[p]) for p, dependencies in graph.items() for d in dependencies}
    return components, sorted((lower, upper) for lower, upper in edges if lower != upper)


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 20_000
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    graph = package_graph(count, seed)
    components, edges = condensed_order(graph)
    n = len(components)
    cycles = [component for component in components if len(component) > 1]
    print(f"{count} packages with {sum(map(len, graph.values()))} dependencies; {len(cycles)} cycles of "
          f"{sum(map(len, cycles))} packages condensed: {n} elements, {len(edges)} edges")

    # The ideal of an element is itself and all it needs; its filter, all that needs it.
    ideal_sizes, filter_sizes = q.principal_ideal_filter_sizes(n, edges)
    needy = max(range(n), key=ideal_sizes.__getitem__)
    needed = max(range(n), key=filter_sizes.__getitem__)
    print(f"{components[needy][0]} needs {ideal_sizes[needy] - 1} other elements; "
          f"{filter_sizes[needed] - 1} elements need {components[needed][0]}")

    # Packages of which none needs another can be built side by side.
    width = q.width_data(n, edges)
    packages = q.max_antichain_score_data(n, edges, [float(len(component)) for component in components])
    print(f"at most {width} elements, holding at most {packages:.0f} packages, can be built side by side")


if __name__ == "__main__":
    main()
