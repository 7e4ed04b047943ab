from .order import strictly_above

VALUE_COUNT = "value vector length must match the element count"


def _transform(n, edges, values, strict):
    if len(values) != n:
        raise ValueError(VALUE_COUNT)
    above = strictly_above(n, edges)
    result = []
    for i in range(n):
        total = 0.0 if strict else float(values[i])
        for j in range(i):
            if i in above[j]:
                total = total + float(values[j])
        result.append(total)
    return result


def zeta_transform_data(n, edges, values):
    return _transform(n, edges, values, strict=False)


def strict_zeta_transform_data(n, edges, values):
    return _transform(n, edges, values, strict=True)
