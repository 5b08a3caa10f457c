"""The stubs of _pyzel_core match the compiled module, and typed code using them checks."""

import pathlib
import subprocess
import sys

import pytest

pytest.importorskip("mypy")

ROOT = pathlib.Path(__file__).resolve().parents[2]
HERE = pathlib.Path(__file__).resolve().parent


def run(args, tmp_path):
    done = subprocess.run(
        [sys.executable, "-m", *args], cwd=tmp_path, capture_output=True, text=True, timeout=300
    )
    return done.returncode, done.stdout + done.stderr


def test_stubs_match_the_compiled_module(tmp_path):
    code, out = run(["mypy.stubtest", "_pyzel_core", "--allowlist", str(HERE / "stubtest_allowlist.txt")], tmp_path)
    assert code == 0, out


@pytest.mark.parametrize(
    "target",
    [["-p", "pyzel"], [str(ROOT / "examples" / "object_road.py")]],
    ids=["package", "object-road-example"],
)
def test_mypy_strict_passes(target, tmp_path):
    code, out = run(["mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), *target], tmp_path)
    assert code == 0, out


def test_stubs_catch_a_type_mistake(tmp_path):
    wrong = tmp_path / "wrong.py"
    wrong.write_text("import _pyzel_core\nn: int = _pyzel_core.Solver(_pyzel_core.Problem(), _pyzel_core.Options()).get_result().paths\n")
    code, out = run(["mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), str(wrong)], tmp_path)
    assert code == 1 and 'incompatible types in assignment' in out.lower(), out
