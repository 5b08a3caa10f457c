"""Solves one example instance and prints the result dictionary."""
import json
import pathlib
import sys

import _pyzel_core

here = pathlib.Path(__file__).resolve().parent
instance = sys.argv[1] if len(sys.argv) > 1 else str(here / "single_depot_min_max.json")
result = _pyzel_core.solve_json_file(instance, 5.0)
print(json.dumps(result, indent=2))
