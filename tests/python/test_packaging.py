"""What the source distribution carries, and the one version every road reports."""
import subprocess
import sys
import tarfile
import tomllib

import pytest

import pyzel
from conftest import ROOT, in_child


def test_the_version_stands_once():
    declared = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]["version"]
    assert pyzel.__version__ == declared


@in_child
@pytest.mark.timeout(120)
def test_sdist_keeps_the_licence_and_leaves_out_corpus_and_records(tmp_path):
    build = "from scikit_build_core.build import build_sdist; import sys; print(build_sdist(sys.argv[1]))"
    name = subprocess.run([sys.executable, "-c", build, str(tmp_path)], cwd=ROOT, check=True,
                          capture_output=True, text=True).stdout.strip().splitlines()[-1]
    with tarfile.open(tmp_path / name) as sdist:
        members = [m.split("/", 1)[1] for m in sdist.getnames() if "/" in m]
    assert "LICENSE" in members and "src/solver/solver_search.cpp" in members
    assert not [m for m in members if m.startswith("fuzz/corpus/") or m.startswith("bench/results-")]
