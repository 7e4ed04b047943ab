"""The README's examples are what the module answers."""

import doctest
from pathlib import Path

README = Path(__file__).parent.parent / "README.md"


def test_readme_examples():
    parser = doctest.DocTestParser()
    test = parser.get_doctest(README.read_text(), {}, "README.md", str(README), 0)
    assert test.examples
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.summarize(verbose=False).failed == 0
