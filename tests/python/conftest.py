import json
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture
def examples_dir():
    return EXAMPLES


def load_example(name):
    return json.loads((EXAMPLES / name).read_text())
