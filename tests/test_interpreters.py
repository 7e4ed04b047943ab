"""The module across interpreters: a second interpreter lifetime in one
process, and sub-interpreters that refuse single-phase modules."""

import os
import shutil
import subprocess
import sys
import sysconfig
import textwrap
from pathlib import Path

import _quorvane_rust
import pytest

DRIVERS = Path(__file__).parent / "drivers"


def build_embedding_driver(source, target):
    config = sysconfig.get_config_vars()
    compiler = (config.get("CC") or "cc").split()[0]
    if shutil.which(compiler) is None or not config.get("LIBDIR"):
        pytest.skip("no C compiler or no libpython to embed the interpreter with")
    command = [
        compiler, str(source), "-o", str(target), "-I" + sysconfig.get_paths()["include"],
        "-L" + config["LIBDIR"], "-Wl,-rpath," + config["LIBDIR"], "-lpython" + config["LDVERSION"],
        *config["LIBS"].split(), *config["SYSLIBS"].split(), *config["LINKFORSHARED"].split(),
    ]
    built = subprocess.run(command, capture_output=True, text=True)
    if built.returncode != 0:
        pytest.skip("this interpreter cannot be embedded here: " + built.stderr[-300:])


def test_a_new_interpreter_lifetime_gets_a_working_module(tmp_path):
    driver = tmp_path / "reinitialize"
    build_embedding_driver(DRIVERS / "reinitialize.c", driver)
    environment = dict(os.environ, PYTHONPATH=os.path.dirname(_quorvane_rust.__file__), PYTHONHOME=sys.base_prefix)
    result = subprocess.run([str(driver)], capture_output=True, text=True, env=environment, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["2", "2"]


def test_an_import_refused_by_a_sub_interpreter_leaves_the_module_free():
    code = """
        try:
            import _interpreters as interpreters
        except ImportError:
            try:
                import _xxsubinterpreters as interpreters
            except ImportError:
                print("skip")
                raise SystemExit
        interpreter = interpreters.create()
        try:
            refusal = interpreters.run_string(interpreter, "import _quorvane_rust")
        except Exception as error:
            refusal = error
        if "does not support loading in subinterpreters" not in str(refusal):
            print("skip")  # the sub-interpreter imported it, and now owns it
            raise SystemExit
        import _quorvane_rust as q
        print(q.width_data(3, [(0, 2), (1, 2)]))
    """
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    if result.stdout.strip() == "skip":
        pytest.skip("this interpreter has no sub-interpreters that refuse single-phase modules")
    assert result.stdout.split() == ["2"]
