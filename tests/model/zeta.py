import math

from .order import strictly_above

VALUE_COUNT = "value vector length must match the element count"


def _plus(total, term):
    """total + term, keeping the running total (made quiet) where both are NaN.

    Which NaN an addition of two NaNs gives is the hardware's choice, and the
    interpreter's own additions do not make one choice: its specialised and
    generic paths order the operands differently, and emulated CPUs pick by
    other rules. The module keeps the running total's on every path.
    """
    if math.isnan(total) and math.isnan(term):
        return total + 0.0
    return total + term


def _transform(n, edges, values, strict):
    if len(values) != n:
        raise ValueError(VALUE_COUNT)
    above = strictly_above(n, edges)
    result = []
    for i in range(n):
        total = 0.0 if strict else float(values[i])
        for j in range(i):
            if i in above[j]:
                total = _plus(total, float(values[j]))
        result.append(total)
    return result


def zeta_transform_data(n, edges, values):
    return _transform(n, edges, values, strict=False)


def strict_zeta_transform_data(n, edges, values):
    return _transform(n, edges, values, strict=True)
