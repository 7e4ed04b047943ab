"""The examples run, so that they cannot rot."""

import importlib.util
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).parent.parent / "examples"

needs_dask = pytest.mark.skipif(importlib.util.find_spec("distributed") is None, reason="Dask is not installed")


@pytest.mark.parametrize(
    "script, args",
    [
        ("demo.py", []),
        ("parallel.py", ["16"]),
        ("packages.py", ["300", "1"]),
        pytest.param("cluster.py", ["16"], marks=needs_dask),
    ],
)
def test_example_runs(script, args):
    result = subprocess.run([sys.executable, str(EXAMPLES / script), *args], capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip()
