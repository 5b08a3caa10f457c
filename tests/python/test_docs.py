"""The documentation's examples run and say what the pages claim.

``<!-- run: python -->`` before a snippet runs it as a script in a fresh folder and
compares what it prints with the next ``text`` block; ``<!-- run: $ COMMAND -->`` before
a ``text`` block runs COMMAND for it. Options, each after a ``;``: ``mask=times`` (two-
and three-decimal figures) or ``mask=figures`` (every number, equal rows once),
``copy=NAME:FROM ...`` (files of the tree or of the shared TSPLIB set), ``exit=N``,
``needs=MODULE``, ``excerpt=FILE`` (the snippet is that file's, verbatim). A line ``...``
in the expected text stands for any lines; runs of spaces count as one.
"""
import json
import re
import shutil
import subprocess
import sys

import pytest

import _pyzel_core as z
from conftest import ROOT, child_env, in_child, shared_tsplib
from solution_checker import check_result

RUN_MARK = re.compile(r"<!-- run: (?P<marker>.*?) -->\n```(?P<lang>\w*)\n(?P<code>.*?)```\n", re.S)
TEXT_BLOCK = re.compile(r"```text\n(.*?)```", re.S)


def marked_snippets():
    for page in sorted((ROOT / "docs").glob("*.md")):
        text = page.read_text()
        for mark in RUN_MARK.finditer(text):
            kind, *options = [part.strip() for part in mark["marker"].split(";")]
            if kind.startswith("$ "):
                command, expected = kind[2:], mark["code"]
            else:
                command, expected = mark["code"], TEXT_BLOCK.search(text, mark.end())[1]
            line = text.count("\n", 0, mark.start()) + 1
            yield pytest.param(kind.split()[0], command, expected, dict(o.split("=", 1) for o in options),
                               id=f"{page.name}:{line}")


def normalised(text, mask, folder):
    text = text.replace(str(folder), ".")
    if mask == "times":
        text = re.sub(r"\b\d+\.\d{2,3}\b", "#", text)
    elif mask == "figures":
        text = re.sub(r"#((, | )#)+", "#", re.sub(r"-?\b\d+(\.\d+)?(e[+-]?\d+)?\b", "#", text))
    lines = [re.sub(" +", " ", line.rstrip()) for line in text.strip("\n").splitlines()]  # widths follow the data
    if mask == "figures":
        lines = [line for k, line in enumerate(lines) if k == 0 or line != lines[k - 1]]
    return lines


def matches(expected, actual):
    pattern = "".join(r"(?:[^\n]*\n)*?" if line == "..." else re.escape(line) + r"\n" for line in expected)
    return re.fullmatch(pattern, "".join(line + "\n" for line in actual)) is not None


@in_child
@pytest.mark.timeout(180)
@pytest.mark.parametrize("kind, code, expected, options", list(marked_snippets()))
def test_marked_snippet_prints_what_the_page_shows(tmp_path, kind, code, expected, options):
    if "needs" in options:
        pytest.importorskip(options["needs"])
    if "excerpt" in options:
        assert code in (ROOT / options["excerpt"]).read_text(), f"the listing is not {options['excerpt']}"
    for name, source in (item.split(":") for item in options.get("copy", "").split()):
        shutil.copy(shared_tsplib(source) if source.endswith(".tsp") else ROOT / source, tmp_path / name)
    (tmp_path / "examples").symlink_to(ROOT / "examples")
    (tmp_path / "snippet.py").write_text(code)  # a script of its own, as a reader would save it
    # pyzel is the command of the tree under test, whatever is installed on the PATH
    argv = ([sys.executable, "snippet.py"] if kind == "python" else
            ["bash", "-c", f'pyzel() {{ "{sys.executable}" -m pyzel "$@"; }}\n{code}'])
    done = subprocess.run(argv, cwd=tmp_path, env=child_env(), capture_output=True, text=True, timeout=170)
    assert done.returncode == int(options.get("exit", 0)), done.stderr
    actual = normalised(done.stdout, options.get("mask"), tmp_path)
    want = normalised(expected, options.get("mask"), tmp_path)
    assert matches(want, actual), "\n".join(["printed:", *actual, "the page shows:", *want])


def test_complete_instance_example_solves_as_described():
    page = (ROOT / "docs" / "instance-format.md").read_text()
    doc = json.loads(re.search(r"```json\n(.*?)```", page, re.S).group(1))
    result = z.solve_json_str(json.dumps(doc), 2.0)
    assert check_result(doc, result) == []
    assert [(r["path"], r["cost"]) for r in result["routes"]] == [([0, 5, 0], 24.0), ([1, 4, 2, 3, 1], 19.0)]


def test_readme_and_docs_link_existing_pages():
    def links(page):
        return re.findall(r"\]\(([^)#:]+)(?:#[^)]*)?\)", page.read_text())
    readme = [t for t in links(ROOT / "README.md") if t.startswith("docs/")]
    assert "docs/routes.png" in readme and "docs/index.md" in readme
    for page in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]:
        for target in readme if page.name == "README.md" else links(page):
            assert (page.parent / target).exists(), f"{page.name} links to missing {target}"
