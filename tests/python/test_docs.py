"""The documentation's examples run and say what the pages claim."""
import json
import re
import subprocess
import sys

import _pyzel_core as z
from conftest import ROOT
from solution_checker import check_result


def test_complete_instance_example_solves_as_described():
    page = (ROOT / "docs" / "instance-format.md").read_text()
    doc = json.loads(re.search(r"```json\n(.*?)```", page, re.S).group(1))
    result = z.solve_json_str(json.dumps(doc), 2.0)
    assert check_result(doc, result) == []
    assert [(r["path"], r["cost"]) for r in result["routes"]] == [([0, 5, 0], 24.0), ([1, 4, 2, 3, 1], 19.0)]


def test_object_road_example_runs():
    done = subprocess.run([sys.executable, str(ROOT / "examples" / "object_road.py")], capture_output=True,
                          text=True, timeout=50)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines()[-1].startswith("longest route 40;")


def test_readme_and_docs_link_existing_pages():
    def links(page):
        return re.findall(r"\]\(([^)#:]+)(?:#[^)]*)?\)", page.read_text())
    readme = [t for t in links(ROOT / "README.md") if t.startswith("docs/")]
    assert "docs/routes.png" in readme and "docs/index.md" in readme
    for page in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]:
        for target in readme if page.name == "README.md" else links(page):
            assert (page.parent / target).exists(), f"{page.name} links to missing {target}"
