"""Running code in a fresh interpreter whose address space is capped."""

import os
import subprocess
import sys
import textwrap

import pytest


def run_isolated(code, memory_limit_gb=2, timeout=120, cap_optional=False):
    """With cap_optional, a run under the address sanitizer goes ahead without the cap."""
    capped = True
    if "libasan" in os.environ.get("LD_PRELOAD", ""):
        if not cap_optional:
            pytest.skip("the address sanitizer reserves more address space than the cap allows")
        capped = False
    prelude = textwrap.dedent(f"""
        import resource
        limit = int({memory_limit_gb} * 2**30)
        if {capped}:
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    """)
    return subprocess.run(
        [sys.executable, "-c", prelude + textwrap.dedent(code)],
        capture_output=True, text=True, timeout=timeout,
    )
