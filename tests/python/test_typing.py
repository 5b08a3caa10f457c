"""The stubs of _pyzel_core match the compiled module, typed code using them checks,
and a type mistake against them is caught."""
import subprocess
import sys

import pytest

from conftest import HERE, ROOT

pytest.importorskip("mypy")

WRONG = "import _pyzel_core as z\nn: int = z.Solver(z.Problem(), z.Options()).get_result().paths\n"


@pytest.mark.parametrize("args, code, text", [
    (["mypy.stubtest", "_pyzel_core", "--allowlist", str(HERE / "stubtest_allowlist.txt")], 0, ""),
    (["mypy", "--strict", "-p", "pyzel"], 0, ""),
    (["mypy", "--strict", str(ROOT / "examples" / "object_road.py")], 0, ""),
    (["mypy", "--strict", "wrong.py"], 1, "incompatible types in assignment"),
], ids=["stubtest", "package", "object-road-example", "type-mistake"])
def test_mypy(args, code, text, tmp_path):
    (tmp_path / "wrong.py").write_text(WRONG)
    done = subprocess.run([sys.executable, "-m", *args], cwd=tmp_path, capture_output=True, text=True, timeout=50)
    out = done.stdout + done.stderr
    assert done.returncode == code and text in out.lower(), out
