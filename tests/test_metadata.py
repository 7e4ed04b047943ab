"""The interpreters the package claims are those its wheels are built for and
its README names."""

import re
import tomllib
from pathlib import Path

ROOT = Path(__file__).parent.parent
PROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())


def claimed_versions():
    prefix = "Programming Language :: Python :: "
    return {c.removeprefix(prefix) for c in PROJECT["project"]["classifiers"] if re.fullmatch(prefix + r"3\.\d+", c)}


def test_wheels_are_built_for_every_claimed_version():
    built = {f"3.{minor}" for minor in re.findall(r"\bcp3(\d+)-\*", PROJECT["tool"]["cibuildwheel"]["build"])}
    assert built == claimed_versions()


def test_readme_support_line_names_every_claimed_version():
    introduction = (ROOT / "README.md").read_text().split("\n## ")[0]
    assert set(re.findall(r"\b3\.\d+\b", introduction)) == claimed_versions()


def test_requires_python_is_the_oldest_claimed_version():
    oldest = min(claimed_versions(), key=lambda version: int(version.split(".")[1]))
    assert PROJECT["project"]["requires-python"] == ">=" + oldest
