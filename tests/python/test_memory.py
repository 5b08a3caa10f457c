"""The search's memory bound: set through the options, or taken from the process's own
limits, it ends the search like a time-out and keeps the solution found so far."""
import json
import shutil
import subprocess
import sys
import textwrap

import pytest

import _pyzel_core as z
from conftest import EXAMPLES, child_env, in_child


def ring_doc(n, agents, **options):
    # Whole-number costs on a ring: many equal partial routes, so the search grows fast.
    costs = [[min(abs(i - j), n - abs(i - j)) for j in range(n)] for i in range(n)]
    return {"nodes": [{"id": i, "x": i, "y": 0} for i in range(n)],
            "agents": [{"id": k, "type": "a", "start_node": 0, "end_node": 0}
                       for k in range(agents)],
            "costs": {"a": costs},
            "options": {"objective": "min_max", "time_limit": float("inf"), **options}}


@pytest.mark.timeout(120)
def test_memory_limit_option_ends_the_search_with_its_solution():
    doc = ring_doc(61, 4, memory_limit=8)
    out = z.solve_json_str(json.dumps(doc).replace("Infinity", "1e300"))
    assert out["status"] == "success" and out["timeout"] is True
    assert sorted(n for r in out["routes"] for n in r["path"][1:-1]) == list(range(1, 61))


@in_child
@pytest.mark.timeout(180)
def test_address_space_limit_bounds_the_search_instead_of_killing_it():
    doc = ring_doc(61, 4)
    script = textwrap.dedent(f"""
        import json, resource
        import _pyzel_core as z
        doc = json.loads({json.dumps(json.dumps(doc).replace("Infinity", "1e300"))})
        resource.setrlimit(resource.RLIMIT_AS, (1536 << 20, 1536 << 20))
        out = z.solve_json_str(json.dumps(doc))
        print(out["status"], out["timeout"])
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=170)
    assert run.returncode == 0, run.stderr[-2000:]
    assert run.stdout.split()[-2:] == ["success", "True"]


@in_child
@pytest.mark.timeout(120)
@pytest.mark.parametrize("names", [["huge.json"], ["huge.json", "time_windows.json"]], ids=["one", "batch"])
def test_out_of_memory_is_one_line_naming_the_instance_and_the_limit(tmp_path, names):
    # 40,000 nodes, each a round trip from the depot: small as a document, but the core's
    # cost table needs 12.8 GB.
    doc = ring_doc(2, 1) | {"nodes": [{"id": i, "x": i, "y": 0} for i in range(40000)], "options": {},
                            "costs": {"a": [[0] + [1] * 39999] + [[1]] * 39999}}
    (tmp_path / "huge.json").write_text(json.dumps(doc))
    shutil.copy(EXAMPLES / "time_windows.json", tmp_path)
    script = ("import resource, sys; resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30)); "
              "from pyzel.cli import main; sys.exit(main(sys.argv[1:]))")
    run = subprocess.run([sys.executable, "-c", script, "solve", *names, "--budget", "10"], cwd=tmp_path,
                         env=child_env(), capture_output=True, text=True, timeout=110)
    told = "huge.json: out of memory (automatic memory limit, drawn from the "  # the least of three limits
    assert run.returncode == 2 and "Traceback" not in run.stderr, run.stderr[-2000:]
    assert f"[1/2] huge.json: error: {told}" in run.stdout if names[1:] else f"pyzel: error: {told}" in run.stderr


@in_child
@pytest.mark.timeout(120)
@pytest.mark.parametrize("headroom_mib", [4, 12, 24, 48])
def test_a_document_too_large_to_read_raises_memory_error(headroom_mib):
    # Out of memory part way through reading, the half-read document must still be taken
    # apart (which itself needs memory) without ending the process.
    script = textwrap.dedent(f"""
        import json, resource
        import _pyzel_core as z
        n = 1500
        text = json.dumps({{"nodes": [{{"id": i, "x": i, "y": 0}} for i in range(n)],
                           "agents": [{{"id": 0, "type": "a", "start_node": 0, "end_node": 0}}],
                           "costs": {{"a": [[abs(i - j) for j in range(n)] for i in range(n)]}},
                           "options": {{"max_iterations": 1}}}})
        size = next(int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmSize"))
        limit = (size << 10) + ({headroom_mib} << 20)
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            z.solve_json_str(text)
            print("solved")
        except MemoryError:
            print("MemoryError")
    """)
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=110)
    assert run.returncode == 0, run.stderr[-2000:]
    assert run.stdout.split()[-1:] in (["MemoryError"], ["solved"])
