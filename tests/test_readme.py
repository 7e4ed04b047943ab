"""The README's examples are what the module answers."""

import doctest
import math
from pathlib import Path

import _quorvane_rust as q
import pytest

README = Path(__file__).parent.parent / "README.md"


@pytest.mark.cross
def test_readme_examples():
    parser = doctest.DocTestParser()
    test = parser.get_doctest(README.read_text(), {}, "README.md", str(README), 0)
    assert test.examples
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.summarize(verbose=False).failed == 0


class ByteArray(int):
    def to_bytes(self, length, order):
        return bytearray(length)


def errors_table():
    text = README.read_text()
    return text[text.index("## Errors") : text.index("## Guarantees")]


@pytest.mark.parametrize(
    "call",
    [
        lambda: q.transitive_successor_closure_bitsets(2, [pytest.importorskip("numpy").uint64(2), 0]),
        lambda: q.transitive_successor_closure_bitsets(2, [None, 0]),
        lambda: q.transitive_successor_closure_bitsets(2, [ByteArray(2), 0]),
        lambda: q.width_data(2, [(0, 1, 2)]),
        lambda: q.width_data(2, [(0, 2)]),
        lambda: q.max_antichain_score_data(1, [], [math.nan]),
        lambda: q.lattice_layer_sizes(129, []),
    ],
)
def test_errors_table_gives_class_and_message(call):
    with pytest.raises(Exception) as raised:
        call()
    assert f"| `{type(raised.value).__name__}` | `{raised.value}` |" in errors_table()
