"""Solves one example instance and prints the result dictionary as JSON on standard output.

The instance's options gain "quiet", so the solver's own diagnostic lines stay out of the
output: `python examples/solve_example.py > r.json` gives a JSON file.
"""
import json
import pathlib
import sys

import _pyzel_core

here = pathlib.Path(__file__).resolve().parent
instance = sys.argv[1] if len(sys.argv) > 1 else str(here / "single_depot_min_max.json")
with open(instance, encoding="utf-8-sig") as f:
    document = json.load(f)
document.setdefault("options", {})["quiet"] = True
result = _pyzel_core.solve_json_str(json.dumps(document), 5.0)
print(json.dumps(result, indent=2))
