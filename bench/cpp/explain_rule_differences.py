"""Sorts every instance whose answer differs between two equivalence dumps by the
rule that may change it, and judges both answers by the route rules of today:
    python bench/cpp/explain_rule_differences.py OLD_DUMP NEW_DUMP DOCUMENTS
A dump is the output of zel_equivalence_dump of either build (same --count, --budget
and --improve); DOCUMENTS is `zel_equivalence_dump --count N --documents 1` of the
new build. The rules that may change an answer:
- a window on an agent's start depot: the agent leaves at its opening (the old search
  left at time 0), so old costs are recomputed from their routes before comparing;
- open routes (the caller's-graph road is always open): the spanning-tree bound no
  longer pays an edge into a depot, where an open route ends for free.
Any other difference is printed with CHECK, as is every worse answer. Run from the repository root."""
import json
import re
import sys
import types
from collections import Counter
from pathlib import Path

# pyzel's checker without the compiled core behind the package's __init__.
package = types.ModuleType("pyzel")
package.__path__ = [str(Path(__file__).resolve().parents[2] / "python" / "pyzel")]
sys.modules["pyzel"] = package
from pyzel.document import instance_from  # noqa: E402
from pyzel.validate import check_result, schedule  # noqa: E402


def blocks(path):
    out, cur = {}, None
    for line in open(path):
        if line.startswith("== seed "):
            cur = line.strip()
            out[cur] = []
        elif cur:
            out[cur].append(line.rstrip("\n"))
    return out


def answer(lines):
    """(status, routes) of a block: routes as [(path, cost)], None when it failed."""
    status = next((l for l in lines if l.startswith("status=") or l.startswith("error=")), "")
    if not status.startswith("status=1"):
        return status.split(" ")[0], None
    result = next(l for l in lines if l.startswith("result"))
    routes = []
    for body in re.findall(r"\[(\d+):([^|]*)\| ([^\]]+)\]", result):
        routes.append(([int(v) for v in body[1].split()], float(body[2])))
    return "solved", routes


def judged(doc, routes):
    """The routes with costs recomputed under today's rules: (objective, violations)."""
    instance = instance_from(doc)
    priced = []
    for agent, (path, _) in zip(instance.agents, routes):
        times = schedule(instance, agent, path, 0.0)
        priced.append({"agent_id": agent.id, "path": path, "cost": times[-1][1] if times else 0.0})
    costs = [r["cost"] for r in priced]
    result = {"status": "success", "routes": priced,
              "statistics": {"max_cost": max([0.0] + costs), "sum_cost": sum(costs)}}
    min_max = doc["options"]["objective"] == "min_max"
    return (max(costs) if min_max else sum(costs)), check_result(doc, result)


NEITHER = "neither rule (closed routes, no start window): must not differ"


def rule_of(doc):
    starts = {a["start_node"] for a in doc["agents"]}
    windows = next(c["items"] for c in doc["constraints"] if c["kind"] == "timewindow")
    if any(w["node"] in starts for w in windows):
        return "start window"
    if not doc["options"]["return_to_end"]:
        return "open routes"
    return NEITHER


def verdict(doc, old, new):
    (old_status, old_routes), (new_status, new_routes) = old, new
    if new_routes is not None:
        new_value, new_faults = judged(doc, new_routes)
        if new_faults:
            return "new answer breaks the rules: " + new_faults[0]
    if old_routes is None and new_routes is None:
        return f"both {old_status} / {new_status}, counters or anytime entries differ"
    if new_routes is None:
        _, old_faults = judged(doc, old_routes)
        return "old answer broke the rules, now " + new_status if old_faults else "WORSE: solved before, now " + new_status
    if old_routes is None:
        return "solved now, " + old_status + " before"
    old_value, old_faults = judged(doc, old_routes)
    if old_faults:
        return "old answer broke the rules, now a valid one"
    if new_value < old_value - 1e-9:
        return "lower objective"
    if new_value > old_value + 1e-9:
        return "WORSE: higher objective"
    return "same objective, other routes, counters or anytime entries"


def main():
    old, new, docs = (blocks(p) for p in sys.argv[1:4])
    assert list(old) == list(new), "the dumps hold different instances"
    differing = [h for h in old if old[h] != new[h]]
    tally = Counter()
    rules = Counter(rule_of(json.loads(docs[h][0])) for h in old)
    for header in differing:
        doc = json.loads(docs[header][0])
        rule = rule_of(doc)
        what = verdict(doc, answer(old[header]), answer(new[header]))
        tally[(rule, what)] += 1
        if rule == NEITHER or what.startswith(("WORSE", "new answer")):
            print("CHECK", header, "|", rule, "|", what)
    print(f"{len(old)} instances, {len(differing)} differ")
    for rule, count in sorted(rules.items()):
        print(f"{count:6d}  instances of which {sum(n for (r, _), n in tally.items() if r == rule)} differ: {rule}")
    for (rule, what), count in sorted(tally.items()):
        print(f"{count:6d}  {rule}: {what}")


if __name__ == "__main__":
    main()
