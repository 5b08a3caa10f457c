"""Two runs of bench/run.py case by case: whether the answers of one (say 2 threads
at a limit T) are no worse than those of the other (1 thread at 2T).

    python bench/compare_threads.py bench/out/results-A.json bench/out/results-B.json

Cases where both runs reach the best known value count apart (nothing to gain);
so do cases without one where the two answers are equal.
"""

from __future__ import annotations

import json
import sys
from pathlib import Path

TOLERANCE = 1e-6  # relative: answers this close are equal


def answers(path: Path) -> tuple[dict, dict]:
    meta = json.loads(path.read_text())
    out = {}
    for r in meta["records"]:
        if r["solver"].startswith("zel"):
            key = (r["instance"], r["objective"], r["agents"], r["distance"])
            out[key] = (r.get("best") if r["status"] == "success" else None, r.get("reference"))
    return meta, out


def main(argv: list[str]) -> None:
    (meta_a, a), (meta_b, b) = answers(Path(argv[1])), answers(Path(argv[2]))
    print(f"A: {meta_a['command']} (threads {meta_a.get('threads')}, load {meta_a['machine']['load']})")
    print(f"B: {meta_b['command']} (threads {meta_b.get('threads')}, load {meta_b['machine']['load']})")
    at_best = no_worse = worse = 0
    ratios = []
    for key in sorted(set(a) & set(b)):
        (x, ref), (y, _) = a[key], b[key]
        if x is None or y is None:
            print(f"  {key}: unsolved in {'A' if x is None else 'B'}")
            continue
        close = lambda u, v: abs(u - v) <= TOLERANCE * max(1.0, abs(v))  # noqa: E731
        if ref is not None and close(x, ref) and close(y, ref):
            at_best += 1
            continue
        ratios.append(x / y if y else 1.0)
        if x <= y + TOLERANCE * max(1.0, abs(y)):
            no_worse += 1
        else:
            worse += 1
            print(f"  worse: {' '.join(map(str, key))}: A {x:.6g} B {y:.6g} ({100 * (x / y - 1):+.2f} %)")
    counted = no_worse + worse
    mean = 100 * (sum(ratios) / len(ratios) - 1) if ratios else 0.0
    print(f"cases {counted + at_best}: both at best known {at_best}; of the other {counted}, A no worse than B "
          f"in {no_worse} ({100 * no_worse / max(counted, 1):.0f} %); mean A/B {mean:+.2f} %")


if __name__ == "__main__":
    main(sys.argv)
