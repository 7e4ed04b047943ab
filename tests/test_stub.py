"""The type stub matches the runtime signatures and type-checks real calls."""

import ast
import inspect
import os
import subprocess
import sys
from pathlib import Path

import _quorvane_rust as q
import pytest

ROOT = Path(__file__).parent.parent
STUB = ROOT / "src" / "_quorvane_rust.pyi"


def stub_functions():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}


def test_stub_declares_exactly_the_module_functions():
    assert sorted(stub_functions()) == sorted(q.__all__)


@pytest.mark.parametrize("name", q.__all__)
def test_stub_signature_matches_runtime(name):
    node = stub_functions()[name]
    runtime = inspect.signature(getattr(q, name))
    assert [a.arg for a in node.args.args] == list(runtime.parameters)
    stub_defaults = {a.arg: d for a, d in zip(reversed(node.args.args), reversed(node.args.defaults))}
    for param in runtime.parameters.values():
        if param.default is inspect.Parameter.empty:
            assert param.name not in stub_defaults
        else:
            assert ast.literal_eval(stub_defaults[param.name]) == param.default


def test_calls_type_check_under_strict_mypy():
    pytest.importorskip("mypy")
    env = dict(os.environ)
    installed = Path(q.__file__).parent
    if installed.name == "site-packages":
        # An installed module must bring its own types.
        assert (installed / "_quorvane_rust.pyi").read_text() == STUB.read_text()
        assert (installed / "_quorvane_rust-stubs" / "__init__.pyi").read_text() == STUB.read_text()
    else:
        env["MYPYPATH"] = str(STUB.parent)
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
         str(ROOT / "tests" / "typing_examples.py")],
        capture_output=True, text=True, env=env, timeout=300,
    )
    assert result.returncode == 0, result.stdout + result.stderr
