"""Repeated calls of every function, failing ones included, leave nothing behind."""

import gc
import resource
import sys

import _quorvane_rust as q
import pytest

from signatures import FUNCTIONS, valid_arguments
from test_mobius import layered

LANDED = [name for name in FUNCTIONS if hasattr(q, name)]


def failing_variants(name):
    """Argument lists that fail at each stage: conversion, validation, the kernel."""
    params = FUNCTIONS[name]
    variants = []
    for i, param in enumerate(params):
        args = valid_arguments(name, 4)
        args[i] = "x" if param != "max_states" else 2.0
        variants.append(args)  # a conversion error in each argument
    args = valid_arguments(name, 4)
    args[1] = [(2, 1)] if params[1] == "cover_edges" else [0, 0, 1, 0]
    variants.append(args)  # an order that is not topological
    if params[-1] in ("values", "element_scores"):
        args = valid_arguments(name, 4)
        args[-1] = [float("nan")] * (3 if params[-1] == "values" else 4)
        variants.append(args)
    if "left_values" in params:
        args = valid_arguments(name, 4)
        args[2] = [[float("nan")] * 4] * 4
        variants.append(args)
    if name == "linear_extension_count_data":
        variants.append([4, [], 1])  # the state limit
    return variants


# Successful calls that take a path of their own.
SPECIAL_SUCCESSES = {"mobius_matrix_data": [layered(70)]}  # values beyond 64 bits


def calls(name):
    function = getattr(q, name)
    argument_lists = [valid_arguments(name, n) for n in (0, 5, 70)] + failing_variants(name)
    argument_lists += SPECIAL_SUCCESSES.get(name, [])

    def run():
        for args in argument_lists:
            try:
                function(*args)
            except (TypeError, ValueError, OverflowError):
                pass

    return run


@pytest.mark.parametrize("name", LANDED)
def test_allocations_and_references_stay_flat(name):
    run = calls(name)
    for _ in range(20):
        run()
    gc.collect()
    blocks = sys.getallocatedblocks()
    references = getattr(sys, "gettotalrefcount", lambda: 0)()
    for _ in range(200):
        run()
    gc.collect()
    assert sys.getallocatedblocks() - blocks < 50
    assert getattr(sys, "gettotalrefcount", lambda: 0)() - references < 50


def test_peak_memory_does_not_grow():
    runs = [calls(name) for name in LANDED]
    for run in runs:
        run()
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for _ in range(30):
        for run in runs:
            run()
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - peak < 10_000  # kilobytes
