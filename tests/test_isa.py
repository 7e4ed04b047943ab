"""The build runs on every x86-64 CPU: instructions beyond the baseline only in
the variants the loader picks by what the CPU reports (scripts/check_isa.py)."""

import importlib.util
import platform
import shutil
import subprocess
import sys
from pathlib import Path

import _quorvane_rust as q
import pytest

CHECKER = Path(__file__).parent.parent / "scripts" / "check_isa.py"

pytestmark = [
    pytest.mark.skipif(platform.machine() != "x86_64" or sys.platform != "linux", reason="x86-64 Linux builds only"),
    pytest.mark.skipif(shutil.which("objdump") is None, reason="needs objdump"),
]


def load_checker():
    location = importlib.util.spec_from_file_location("check_isa", CHECKER)
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


def test_only_variants_reach_beyond_the_baseline():
    clones, strays = load_checker().check(q.__file__)
    if not clones:
        pytest.skip("a stripped build: the variants cannot be told apart")
    assert set(clones) == {"x86-64-v2", "x86-64-v3", "x86-64-v4"}
    assert strays == []


@pytest.mark.parametrize(
    "raw_bytes, mnemonic, operands, level",
    [
        ("48 01 d0", "add", " %rdx,%rax", 0),
        ("f3 48 0f b8 c7", "popcnt", " %rdi,%rax", 1),
        ("66 0f 38 00 c1", "pshufb", " %xmm1,%xmm0", 1),
        ("f3 48 0f bd c7", "lzcnt", " %rdi,%rax", 2),
        ("f3 48 0f bc c7", "tzcnt", " %rdi,%rax", 0),  # `rep bsf`: the same on every CPU for a nonzero word
        ("c5 fd 58 c1", "vaddpd", " %ymm1,%ymm0,%ymm0", 2),
        ("c4 e2 f8 f2 c1", "andn", " %rcx,%rax,%rax", 2),
        ("62 f1 fd 48 58 c1", "vaddpd", " %zmm1,%zmm0,%zmm0", 3),
    ],
)
def test_instructions_are_classed_by_level(raw_bytes, mnemonic, operands, level):
    assert load_checker().required_level(raw_bytes, mnemonic, operands) == level


def test_checker_names_a_stray_instruction(tmp_path):
    if shutil.which("g++") is None:
        pytest.skip("needs g++")
    source = tmp_path / "stray.cpp"
    source.write_text("int count(unsigned long w) { return __builtin_popcountl(w); }\n")
    library = tmp_path / "stray.so"
    subprocess.run(["g++", "-O2", "-mpopcnt", "-shared", "-fPIC", str(source), "-o", str(library)], check=True)
    clones, strays = load_checker().check(library)
    assert not clones
    assert any("popcnt" in stray and "count(unsigned long)" in stray for stray in strays)
