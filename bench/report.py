"""Tables and pictures from the run records.

A record is a flat dict: the case's fields (instance, objective, agents,
distance, reference, standing, all_agents_work, family, constructed), the node
count "n", the "solver" (a key of SOLVER_NAMES), the "limit" in seconds, and what
the run measured: status, first_time, best, gap, gen_per_s, exp_per_s, peak_mib,
anytime ([time, cost] pairs), error, problems; "limit_rule" is the limit as given
("10", or "n/10" for a tenth of a second per node; absent in older records). A run
has solved its case when it returned routes that pass the checker; any other answer
counts as unsolved.

    python bench/report.py time-buys bench/results-full.json ...   # shorter vs longer limit
"""

from __future__ import annotations

import json
import re
import sys
from collections import defaultdict
from pathlib import Path
from statistics import mean, median

SOLVER_NAMES = {"zel": "ZEL exact", "zel-improve": "ZEL improve", "ortools": "OR-Tools",
                "pyvrp": "PyVRP"}
SOLVER_ORDER = list(SOLVER_NAMES)
MISSING = "–"
NOT_APPLICABLE = "n/a"


def gap_percent(best: float | None, reference: float | None) -> float | None:
    """How far above the reference a cost lies, in percent (negative when below)."""
    if best is None or reference is None or reference == 0:
        return None
    return (best - reference) / reference * 100.0


def solved(record: dict) -> bool:
    return (record["status"] == "success" and record.get("best") is not None
            and not record.get("problems"))


def gaps_to_best_found(records: list[dict]) -> None:
    """For cases without a reference value: the reference becomes the best cost any
    solver found on that case (at any limit), and each solved run's gap is taken to it.
    A case with a reference of its own (a published best solution) keeps it."""
    best: dict[tuple[str, str], float] = {}
    for r in records:
        if solved(r):
            key = (r["instance"], r["objective"])
            best[key] = min(best.get(key, r["best"]), r["best"])
    for r in records:
        if r.get("reference") is not None and r.get("standing") not in ("", "best found"):
            continue
        r["reference"] = best.get((r["instance"], r["objective"]))
        r["standing"] = "best found" if r["reference"] is not None else ""
        r["gap"] = gap_percent(r["best"], r["reference"]) if solved(r) else None


PEERS = ("ortools", "pyvrp")


def gaps_to_better_peer(records: list[dict]) -> None:
    """The rule sets: each run's reference is the better of the peers' solved answers on
    that case at the same limit (none when no peer solved it)."""
    best: dict[tuple, float] = {}
    for r in records:
        if r["solver"] in PEERS and solved(r):
            key = (r["instance"], r["objective"], r["limit"])
            best[key] = min(best.get(key, r["best"]), r["best"])
    for r in records:
        r["reference"] = best.get((r["instance"], r["objective"], r["limit"]))
        r["standing"] = "better peer" if r["reference"] is not None else ""
        r["gap"] = gap_percent(r["best"], r["reference"]) if solved(r) else None


AT_REFERENCE_TOLERANCE = 0.005  # reference values are given to the cent


def at_reference(record: dict) -> bool:
    """Solved at (or below) its reference value."""
    return (solved(record) and record.get("reference") is not None
            and record["best"] <= record["reference"] + AT_REFERENCE_TOLERANCE)


def time_to_within(record: dict, percent: float = 1.0) -> float | None:
    """When the anytime record first came within `percent` of the reference; None when
    it never did, or the final answer failed the check."""
    reference = record.get("reference")
    if not solved(record) or reference is None:
        return None
    bound = reference * (1 + percent / 100.0) + 1e-9 * abs(reference)
    return next((t for t, cost in record.get("anytime") or [] if cost <= bound), None)


def limit_label(record: dict) -> str:
    """The limit as the run was given it: "n/10" for a per-node limit, else its seconds."""
    return record.get("limit_rule") or f"{record['limit']:g}"


def limit_order(label: str) -> tuple:
    try:
        return (0, float(label), "")
    except ValueError:
        return (1, 0.0, label)


def time_buys(records: list[dict]) -> list[dict]:
    """Per solver: of the cases whose answer at the shorter limit is not at the reference
    (unsolved included), how many the longer limit answers better (a lower cost, or a
    solution where there was none). Each case pairs its shortest and longest limit; a case
    whose limits are the same number of seconds is left out."""
    runs: dict[tuple, list[dict]] = defaultdict(list)
    for r in records:
        if r.get("reference") is not None:
            runs[(r["solver"], r["instance"], r["objective"], r["agents"], r["distance"])].append(r)
    rows: dict[tuple[str, str, str], list[int]] = {}
    for (solver, *_), pair in runs.items():
        short, long = min(pair, key=lambda r: r["limit"]), max(pair, key=lambda r: r["limit"])
        if short["limit"] == long["limit"] or at_reference(short):  # n/10 at 100 nodes is 10 s
            continue
        counts = rows.setdefault((solver, limit_label(short), limit_label(long)), [0, 0])
        counts[0] += 1
        counts[1] += solved(long) and (not solved(short) or
                                       long["best"] < short["best"] - 1e-9 * abs(short["best"]))
    order = sorted(rows, key=lambda key: (SOLVER_ORDER.index(key[0]), limit_order(key[1])))
    return [{"solver": key[0], "shorter": key[1], "longer": key[2], "not_at_reference": rows[key][0],
             "longer_better": rows[key][1]} for key in order]


def time_buys_table(records: list[dict]) -> str:
    rows = [[SOLVER_NAMES[row["solver"]], row["shorter"], row["longer"],
             str(row["not_at_reference"]), str(row["longer_better"]),
             fmt(100.0 * row["longer_better"] / row["not_at_reference"], 0)]
            for row in time_buys(records)]
    return markdown_table(["solver", "shorter limit s", "longer limit s",
                           "cases not at the reference at the shorter", "longer answer better",
                           "share %"], rows, numeric_from=1)


def fmt(value: float | None, digits: int = 2) -> str:
    return MISSING if value is None else f"{value:,.{digits}f}"


def fmt_rate(record: dict, key: str) -> str:
    if not record["solver"].startswith("zel"):
        return NOT_APPLICABLE
    value = record.get(key)
    return MISSING if value is None else f"{value:,.0f}"


def markdown_table(headers: list[str], rows: list[list[str]], numeric_from: int = 0) -> str:
    """A GitHub Markdown table; columns from `numeric_from` on are right-aligned."""
    align = ["---" if i < numeric_from else "--:" for i in range(len(headers))]
    lines = ["| " + " | ".join(headers) + " |", "|" + "|".join(align) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def outcome(record: dict) -> str:
    """The best cost, or why there is none."""
    if record["status"] == "error":
        return "not solvable"
    if record["status"] != "success":
        return record["status"]
    return "infeasible" if record.get("problems") else fmt(record["best"])


def reference_text(record: dict) -> str:
    if record["reference"] is None:
        return MISSING
    marks = {"optimal": " (opt)", "lower bound": " (lb)"}
    return fmt(record["reference"]) + marks.get(record["standing"], "")


RUN_HEADERS = ["instance", "n", "agents", "distance", "limit s", "solver", "first solution s",
               "best", "best known", "gap %", "generated/s", "expanded/s", "peak MiB"]


def run_row(r: dict) -> list[str]:
    return [r["instance"], str(r["n"]), str(r["agents"]), r["distance"], f"{r['limit']:g}",
            SOLVER_NAMES[r["solver"]], fmt(r.get("first_time"), 3), outcome(r),
            reference_text(r), fmt(r.get("gap")), fmt_rate(r, "gen_per_s"),
            fmt_rate(r, "exp_per_s"), fmt(r.get("peak_mib"), 1)]


GENERATED_HEADERS = ["instance", "class", "n", "agents", "limit s", "solver", "solved",
                     "first solution s", "best", "best found", "gap %", "constructed",
                     "generated/s", "peak MiB"]


def generated_row(r: dict) -> list[str]:
    return [r["instance"], r["family"], str(r["n"]), str(r["agents"]), fmt(r["limit"], 0),
            SOLVER_NAMES[r["solver"]], "yes" if solved(r) else "no", fmt(r.get("first_time"), 3),
            outcome(r), fmt(r.get("reference")), fmt(r.get("gap")), fmt(r.get("constructed")),
            fmt_rate(r, "gen_per_s"), fmt(r.get("peak_mib"), 1)]


FLEET_HEADERS = ["instance", "n", "agents", "limit s", "solver", "solved", "first solution s",
                 "best", "reference", "gap %", "peak MiB"]


def fleet_table(records: list[dict], objective: str) -> str:
    """The runs of a VRPLIB or generated fleet set: the reference is the best known
    solution's cost, else the best found by any solver (marked bf)."""
    rows = [[r["instance"], str(r["n"]), str(r["agents"]), fmt(r["limit"], 0),
             SOLVER_NAMES[r["solver"]], "yes" if solved(r) else "no", fmt(r.get("first_time"), 3),
             outcome(r), fmt(r.get("reference")) + (" (bf)" if r.get("standing") == "best found" else ""),
             fmt(r.get("gap")), fmt(r.get("peak_mib"), 1)]
            for r in records if r["objective"] == objective]
    return markdown_table(FLEET_HEADERS, rows, numeric_from=6)


RULES_HEADERS = ["instance", "class", "n", "agents", "limit s", "solver", "solved",
                 "first solution s", "best", "better peer", "gap %", "served", "left out",
                 "penalty", "constructed", "peak MiB"]


def rules_table(records: list[dict], objective: str) -> str:
    """The runs of a rule set: the objective (penalties included), the gap to the better
    peer at that limit, how many targets the routes serve and what those left out cost."""
    def row(r: dict) -> list[str]:
        left = r["targets"] - r["served"] if solved(r) else None
        return [r["instance"], r["family"], str(r["n"]), str(r["agents"]), fmt(r["limit"], 0),
                SOLVER_NAMES[r["solver"]], "yes" if solved(r) else "no", fmt(r.get("first_time"), 3),
                outcome(r), fmt(r.get("reference")), fmt(r.get("gap")),
                str(r["served"]) if solved(r) else MISSING, MISSING if left is None else str(left),
                fmt(r.get("penalty")) if solved(r) else MISSING, fmt(r.get("constructed")),
                fmt(r.get("peak_mib"), 1)]
    rows = [row(r) for r in records if r["objective"] == objective and r["status"] != "not applicable"]
    return markdown_table(RULES_HEADERS, rows, numeric_from=7)


def generated_table(records: list[dict], objective: str) -> str:
    rows = [generated_row(r) for r in records if r["objective"] == objective]
    return markdown_table(GENERATED_HEADERS, rows, numeric_from=7)


def runs_table(records: list[dict], objective: str) -> str:
    chosen = [r for r in records if r["objective"] == objective]
    headers, rows = list(RUN_HEADERS), [run_row(r) for r in chosen]
    if objective == "min_sum":
        headers.insert(9, "all agents work")
        for row, r in zip(rows, chosen):
            row.insert(9, fmt(r.get("all_agents_work")))
    return markdown_table(headers, rows, numeric_from=6)


MINMAX_HEADERS = ["instance", "n", "m", "limit s", "solver", "valid", "first solution s",
                  "to 1 % s", "best", "best known", "gap %", "gap to LKH-3 %", "gap to MILS %",
                  "peak MiB"]


def minmax_row(r: dict) -> list[str]:
    return [r["instance"], str(r["n"]), str(r["agents"]), f"{r['limit']:g}",
            SOLVER_NAMES[r["solver"]], "yes" if solved(r) else "no", fmt(r.get("first_time"), 3),
            fmt(time_to_within(r), 3), outcome(r), reference_text(r), fmt(r.get("gap")),
            fmt(published_gap(r, "lkh3")), fmt(published_gap(r, "mils")),
            fmt(r.get("peak_mib"), 1)]


def published_gap(record: dict, method: str) -> float | None:
    return gap_percent(record.get("best"), record.get(method)) if solved(record) else None


def minmax_summary(records: list[dict]) -> str:
    """Per solver and limit: the pairs, how many answers pass the check, the gaps to the
    best known (mean, worst, how many at it) and to the published values, and how many
    came within 1 % of the best known, with the median time it took."""
    groups: dict[tuple[str, str], list[dict]] = defaultdict(list)
    for r in records:
        groups[(r["solver"], limit_label(r))].append(r)
    rows = []
    for (solver, limit), runs in sorted(groups.items(), key=lambda g: (
            SOLVER_ORDER.index(g[0][0]), limit_order(g[0][1]))):
        gaps = [r["gap"] for r in runs if solved(r) and r.get("gap") is not None]
        within = [t for r in runs if (t := time_to_within(r)) is not None]
        lkh3 = [g for r in runs if (g := published_gap(r, "lkh3")) is not None]
        mils = [g for r in runs if (g := published_gap(r, "mils")) is not None]
        rows.append([SOLVER_NAMES[solver], limit, str(len(runs)), str(sum(map(solved, runs))),
                     fmt(mean(gaps)) if gaps else MISSING, fmt(max(gaps)) if gaps else MISSING,
                     str(sum(map(at_reference, runs))), fmt(mean(lkh3)) if lkh3 else MISSING,
                     fmt(mean(mils)) if mils else MISSING, str(len(within)),
                     fmt(median(within), 3) if within else MISSING])
    return markdown_table(["solver", "limit s", "pairs", "valid", "mean gap %", "worst gap %",
                           "at best known", "mean gap to LKH-3 %", "mean gap to MILS %",
                           "within 1 %", "median time to 1 % s"], rows, numeric_from=1)


def summary_table(records: list[dict], by_family: bool = False) -> str:
    """Per objective (and class), solver and limit: runs, solved runs, mean and median
    gap, and how often each solver solved at the lowest cost of all solvers."""
    groups: dict[tuple[str, str, str, str], list[dict]] = defaultdict(list)
    for r in records:
        family = r.get("family", "tsplib") if by_family else ""
        groups[(family, r["objective"], r["solver"], limit_label(r))].append(r)
    rows = []
    families = list(dict.fromkeys(key[0] for key in groups))  # as the records list them
    order = sorted(groups.items(), key=lambda g: (families.index(g[0][0]), g[0][1],
                                                  SOLVER_ORDER.index(g[0][2]),
                                                  limit_order(g[0][3])))
    for (family, objective, solver, limit), runs in order:
        gaps = [r["gap"] for r in runs if r.get("gap") is not None]
        mine = [r for r in records if not by_family or r.get("family", "tsplib") == family]
        rows.append(([family] if by_family else []) + [
            objective, SOLVER_NAMES[solver], limit, str(len(runs)),
            str(sum(solved(r) for r in runs)),
            fmt(mean(gaps)) if gaps else MISSING, fmt(median(gaps)) if gaps else MISSING,
            str(wins(mine, solver, objective, limit))])
    headers = (["class"] if by_family else []) + [
        "objective", "solver", "limit s", "runs", "solved", "mean gap %", "median gap %",
        "at the lowest cost"]
    return markdown_table(headers, rows, numeric_from=3 if by_family else 2)


def wins(records: list[dict], solver: str, objective: str, limit: str) -> int:
    """Cases where `solver` solved at the lowest cost of any solver (ties count), at the
    limit labelled `limit`."""
    best: dict[tuple, dict[str, float]] = defaultdict(dict)
    for r in records:
        if r["objective"] == objective and limit_label(r) == limit and solved(r):
            best[(r["instance"], r["agents"], r["distance"])][r["solver"]] = r["best"]
    count = 0
    for costs in best.values():
        mine = costs.get(solver)
        others = [v for k, v in costs.items() if k != solver]
        if mine is not None and all(mine <= v + 1e-9 for v in others):
            count += 1
    return count


def failures(records: list[dict]) -> list[str]:
    """One line per run that solved nothing, saying why (a line said once)."""
    seen = []
    for r in records:
        if solved(r) or r["status"] == "not applicable":
            continue
        if r.get("error"):
            why = r["error"]
        elif r.get("problems"):
            more = len(r["problems"]) - 1
            why = "infeasible answer: " + r["problems"][0] + (f" (and {more} more)" if more else "")
        else:
            why = f"no answer ({r['status']})"
        where = (f"{r['instance']} ({r['n']} nodes)" if r.get("family", "tsplib") == "tsplib"
                 else f"{r['instance']} m={r['agents']} {r['limit']:g} s"
                 if r["family"] == "minmax"
                 else f"{r['instance']} {r['objective']} {fmt(r['limit'], 0)} s")
        line = f"- {where}, {SOLVER_NAMES[r['solver']]}: {why}"
        if line not in seen:
            seen.append(line)
    return seen


BEGIN = "<!-- bench:{mode}:begin -->"
END = "<!-- bench:{mode}:end -->"


def replace_block(text: str, mode: str, block: str) -> str:
    """Puts `block` between this mode's markers, leaving every other part of the file
    as it was; a new block goes right after the file's title."""
    begin, end = BEGIN.format(mode=mode), END.format(mode=mode)
    wrapped = f"{begin}\n{block.strip()}\n{end}"
    pattern = re.compile(re.escape(begin) + r".*?" + re.escape(end), re.DOTALL)
    if pattern.search(text):
        return pattern.sub(lambda _: wrapped, text, count=1)
    title = re.match(r"# [^\n]*\n", text)
    if title is None:
        return f"# Benchmark results\n\n{wrapped}\n\n{text.lstrip()}".rstrip() + "\n"
    head, rest = text[: title.end()], text[title.end():].lstrip("\n")
    return f"{head}\n{wrapped}\n\n{rest}".rstrip() + "\n"


# ---- pictures -----------------------------------------------------------------------------

SOLVER_COLOURS = {"zel": "tab:blue", "zel-improve": "tab:cyan", "ortools": "tab:orange",
                  "pyvrp": "tab:green"}
SOLVER_STYLES = {"zel": "-", "zel-improve": "-.", "ortools": "--", "pyvrp": ":"}


def case_label(r: dict) -> str:
    if r.get("family", "tsplib") not in ("tsplib", "minmax"):
        return f"{r['agents']} agents"
    return f"{r['agents']} agents" + (", rounded" if r["distance"] == "rounded" else "")


def plot_anytime(records: list[dict], path: Path) -> None:
    """Gap to the reference over time, one panel per instance and objective, at the
    longest time limit; one line style per solver, one colour per agent count (or per
    solver where a panel holds one case)."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    longest: dict[tuple, float] = defaultdict(float)  # per case: a per-node limit varies
    for r in records:
        key = (r["instance"], r["objective"], r["agents"], r["distance"])
        longest[key] = max(longest[key], r["limit"])
    chosen = [r for r in records if r["anytime"] and r["reference"]
              and r["limit"] == longest[(r["instance"], r["objective"], r["agents"], r["distance"])]]
    limit = max((r["limit"] for r in chosen), default=0.0)
    instances = list(dict.fromkeys(r["instance"] for r in chosen))
    objectives = [o for o in ("min_max", "min_sum") if any(r["objective"] == o for r in records)]
    # A run without a reference (one solver alone) still gets its figure, empty.
    rows = max(len(instances), 1)
    fig, axes = plt.subplots(rows, len(objectives),
                             figsize=(5.5 * len(objectives), 2.8 * rows),
                             squeeze=False, sharex=True)
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for row, instance in enumerate(instances):
        for col, objective in enumerate(objectives):
            ax = axes[row][col]
            runs = [r for r in chosen if r["instance"] == instance and r["objective"] == objective]
            ax.set_title(f"{instance}, {objective.replace('_', '-')}", fontsize=9)
            if col == 0:
                ax.set_ylabel(f"gap to {reference_name(records)} %")
            if not runs:  # the reference table has no value for this pair
                ax.text(0.5, 0.5, f"no {reference_name(records)} value", ha="center", va="center",
                        transform=ax.transAxes, fontsize=8, color="grey")
                ax.set_yticks([])
                continue
            labels = list(dict.fromkeys(case_label(r) for r in runs))
            for r in runs:
                times = [max(t, 1e-3) for t, _ in r["anytime"]] + [r["limit"]]
                gaps = [gap_percent(c, r["reference"]) for _, c in r["anytime"]]
                # One case in the panel: a colour per solver; several: a colour per case.
                colour = (SOLVER_COLOURS[r["solver"]] if len(labels) == 1
                          else colours[labels.index(case_label(r)) % len(colours)])
                ax.step(times, gaps + gaps[-1:], where="post", color=colour,
                        linestyle=SOLVER_STYLES[r["solver"]],
                        label=f"{SOLVER_NAMES[r['solver']]}, {case_label(r)}")
            ax.set_xscale("log")
            ax.set_yscale("symlog", linthresh=1.0)
            lowest = min((g for r in runs for _, c in r["anytime"]
                          if (g := gap_percent(c, r["reference"])) is not None), default=0.0)
            ax.set_ylim(bottom=min(0.0, lowest * 1.5))
            ax.grid(True, which="both", alpha=0.3)
            ax.legend(fontsize=6, ncol=2)
    for ax in axes[-1]:
        ax.set_xlabel(f"time s (limit {limit:g} s)" if len({*longest.values()}) == 1
                      else "time s (each case's longest limit)")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def plot_gaps(records: list[dict], path: Path) -> None:
    """Final gap per case, one bar per solver and time limit; a cross marks a run
    without a solution."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    cases = list(dict.fromkeys(case_key(r) for r in records if r["reference"] is not None))
    series = sorted({(r["solver"], limit_label(r)) for r in records},
                    key=lambda s: (SOLVER_ORDER.index(s[0]), limit_order(s[1])))
    limits = sorted({limit for _, limit in series}, key=limit_order)
    colours = SOLVER_COLOURS
    height = 0.8 / max(len(series), 1)
    fig, ax = plt.subplots(figsize=(9, 0.16 * len(cases) * max(len(series), 2) + 1.5))
    for i, (solver, limit) in enumerate(series):
        values = {case_key(r): r.get("gap") for r in records
                  if r["solver"] == solver and limit_label(r) == limit}
        ys = [j + i * height for j in range(len(cases))]
        gaps = [values.get(c) for c in cases]
        # The longest limit solid, shorter ones paler.
        shade = 0.35 + 0.65 * (limits.index(limit) + 1) / len(limits)
        ax.barh(ys, [g if g is not None else 0.0 for g in gaps], height=height,
                color=colours[solver], alpha=shade, label=f"{SOLVER_NAMES[solver]}, {limit} s")
        missing = [y for y, g, c in zip(ys, gaps, cases) if g is None and c in values]
        ax.plot([0.0] * len(missing), missing, "kx", markersize=5)
    ax.set_yticks([j + 0.4 - height / 2 for j in range(len(cases))])
    ax.set_yticklabels(cases, fontsize=7)
    ax.invert_yaxis()
    ax.set_xscale("symlog", linthresh=1.0)
    shown = [r["gap"] for r in records if r.get("gap") is not None]
    ax.set_xlim(min([0.0, *shown]) * 1.1, max([1.0, *shown]) * 1.1)  # ticks of sub-percent gaps
    ax.set_xlabel("gap to best found by any solver %" if reference_name(records) == "best found"
                  else f"gap to {reference_name(records)} %"
                  if any(r.get("family") in ("cvrp", "vrptw") for r in records)
                  else "gap to best known %" if all(r["objective"] == "min_max" for r in records)
                  else "gap to best known % (min-sum above 2 agents: to the idle-allowed bound)")
    ax.grid(True, axis="x", which="both", alpha=0.3)
    ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def reference_name(records: list[dict]) -> str:
    if any(r.get("standing") == "better peer" for r in records):  # the rule sets
        return "the better peer"
    if any(r.get("family") in ("cvrp", "vrptw") for r in records):  # a published solution's cost
        return ("best known" if all(r["objective"] == "min_sum" for r in records)
                else "reference")  # min-max: the best found
    generated = any(r.get("family", "tsplib") not in ("tsplib", "minmax") for r in records)
    return "best found" if generated else "best known"


def case_key(r: dict) -> str:
    objective = "max" if r["objective"] == "min_max" else "sum"
    if r.get("family") == "minmax":
        return f"{r['instance']} m={r['agents']}"
    if r.get("family", "tsplib") != "tsplib":
        return f"{r['instance']} {objective}"
    rounded = " rnd" if r["distance"] == "rounded" else ""
    return f"{r['instance']} {objective} k={r['agents']}{rounded}"


# ---- the section of RESULTS.md --------------------------------------------------------------

TITLES = {
    "short": "Short mode: eil51 and berlin52, 2 and 3 agents, 1 s "
             "(a smoke run, not the full benchmark)",
    "full": "Full benchmark: every case of the reference table, 1 s and 10 s",
    "constrained-short": "Constrained set, short mode: the five classes at 60 nodes, 1 s",
    "constrained-full": "Constrained set: the five classes at 60, 120 and 200 nodes, 1 s and 10 s",
    "large-short": "Large set, short mode: uniform, 500 nodes, 5 agents, 10 s",
    "large-full": "Large set: a280, uniform and clustered at 500, 1,000 and 2,000 nodes, "
                  "5, 10 and 20 agents",
    "large-10s": "Large set at 10 s: a280, uniform and clustered at 500, 1,000 and 2,000 "
                 "nodes, 5, 10 and 20 agents, both objectives",
    "large-60s": "Large set at 60 s, a subset: a280, uniform and clustered at 500, 1,000 and "
                 "2,000 nodes, 10 agents, both objectives",
    "minmax-short": "Set I (min-max), short mode: mtsp51, mtsp100 and rand100, 10 s",
    "minmax-full": "Set I (min-max): every pair above its trivial bound, n/10 s and 10 s",
    "minmax-n10-main": "Set I (min-max) at n/10 s, ZEL improve alone on main (11ffbf0): the "
                       "figure before the improvement phase's rework",
    "minmax-10s-main": "Set I (min-max) at 10 s on main (11ffbf0): ZEL improve and OR-Tools",
    "hard-main": "Hard set at 1 s and 10 s on main (11ffbf0), every solver that models the case",
    "hard-short": "Hard set, short mode: tight windows, every rule at once, windows beyond "
                  "256 nodes, 1 s",
    "hard-full": "Hard set: tight windows, every rule at once, windows beyond 256 nodes, "
                 "1 s and 10 s",
    "cvrp-full": "Capacitated X instances: min-sum at 10 s and 60 s against PyVRP, min-max at "
                 "10 s against OR-Tools",
    "cvrp-short": "Capacitated X instances, short mode: X-n101-k25 and X-n106-k14, 10 s",
    "cvrp-10s": "Capacitated X instances at 10 s: min-sum against PyVRP, min-max against "
                "OR-Tools",
    "cvrp-60s": "Capacitated X instances at 60 s: min-sum against PyVRP",
    "vrptw-full": "Time windows, 1,000 customers: C1_10_1, R1_10_1 and RC1_10_1 at 60 s "
                  "against PyVRP",
    "vrptw-short": "Time windows, short mode: C1_10_1 at 60 s against PyVRP",
    "fleet-full": "Generated fleets with capacities, service times and windows, 60-400 nodes, "
                  "10 s",
    "fleet-short": "Generated fleets, short mode: 60 nodes, 10 s",
    "precedence-full": "Sequence pairs: pickup and delivery, inspect-repair chains, same/diff "
                       "mixes, 60-250 nodes, 10 s",
    "precedence-short": "Sequence pairs, short mode: 60 nodes, 10 s",
    "overfleet-full": "Optional targets: over-constrained fleets and prize-collecting windows, "
                      "60-250 nodes, 1 s and 10 s",
    "overfleet-short": "Optional targets, short mode: 60 nodes, 1 s",
    "precedence-ortools-60s": "Sequence pairs at 150 and 250 nodes, OR-Tools at 60 s: does a "
                              "longer limit complete its answers",
}

RULE_NOTES = {
    "precedence": "Generated around a plan (`bench/generate_rules.py`, feasible by construction, "
                  '`"enforce_sequence": true`): `pd` pairs 30-50 % of each planned route\'s '
                  'targets "same" (pickup and delivery); `chain` has inspectors, repairers and '
                  "testers, one-type targets, and plain pairs inspect → repair (→ test), so "
                  'another agent serves each step; `mix` has "same", "diff" and plain pairs. '
                  "OR-Tools models them as pickup and delivery, differing vehicle variables and "
                  "node precedences of its time dimension; PyVRP has no pairs. A peer's answer "
                  "that still leaves a target out at the limit is not solved.",
    "overfleet": "Generated around a plan (`bench/generate_rules.py`): `over` has shifts and "
                 "windows, and 5-10 % of the targets cannot be served (a window closed before "
                 "anyone arrives or opened after every shift); every target may be left out at "
                 '`"default_penalty"` 1,000. `prize` is prize-collecting with windows: each '
                 'target its own `"penalty"` (0.5-3 × 1000/√n), the plan serving 70-80 %. The '
                 "objective counts the penalties of the targets left out; OR-Tools drops a "
                 "target through a disjunction at its penalty, PyVRP leaves an optional client's "
                 "prize uncollected.",
}


FLEET_NOTES = {
    "cvrp": "The X instances of `cvrp/`, converted by `pyzel convert` (EUC_2D rounded to whole "
            "numbers, capacities enforced), the fleet fixed at the best known solution's route "
            "count. Min-sum gaps are to that solution's cost; min-max gaps to the best any solver "
            "found (bf). Min-sum against PyVRP, min-max against OR-Tools (PyVRP has no min-max).",
    "vrptw": "The 1,000-customer instances of `vrptw/`, converted by `pyzel convert` (distances "
             "and durations truncated to one decimal, capacities, windows and service times, "
             'min-sum counting distance: `"minimise": "distance"`), the fleet fixed at the best '
             "known solution's route count; gaps to that solution's cost.",
    "fleet": "Generated fleets (`bench/generate.py`, feasible by construction): `cap` has "
             "demands, one capacity and service times at every target; `captw` adds windows on "
             "three targets in five and the depot's closing time, durations 1.5 times the "
             'distances, and min-sum counting distance (`"minimise": "distance"`). Gaps to the '
             "best any solver found (bf).",
}


def run_line(meta: dict, block: str) -> str:
    m = meta["machine"]
    command = meta.get("command") or (
        f"--mode {meta['mode']}" if meta.get("set", "tsplib") == "tsplib"
        else f"--set constrained --mode {meta['mode']} --seed {meta['seed']}")
    return (f"Run {meta['started']} on {m['cpu']} ({m['cores']} cores, one-minute load average "
            f"{m['load']} at the start), Python {m['python']}, OR-Tools {m['ortools']}, PyVRP "
            f"{m.get('pyvrp', 'not installed')}, tree at commit {m['commit']}, `_pyzel_core` "
            f"installed {m.get('module_built', 'at an unknown time')}; {meta['minutes']:.1f} "
            f"minutes in all. Reproduce with `python bench/run.py {command}`; the columns are "
            "explained in [README.md](README.md).")


def results_section(meta: dict, block: str, anytime_png: str, gaps_png: str) -> str:
    records = meta["records"]
    title = TITLES.get(block, block)
    if meta.get("set") == "minmax":
        parts = [
            f"## {title}", run_line(meta, block),
            "Node 1 is the depot of every agent; real Euclidean distances, att532 TSPLIB's ATT "
            "(whole numbers). Pairs whose best known equals the trivial bound 2·max d(depot, i) "
            "are left out unless `--include-trivial`. `to 1 % s` is when the anytime record "
            "first came within 1 % of the best known; `valid` says the answer passed "
            "`pyzel.validate`; LKH-3 and MILS are the published values of bks.csv where given "
            "(a negative gap is below them). PyVRP has no min-max objective. A limit `n/10` "
            "gives each pair a tenth of a second per node.",
            "### Summary", minmax_summary(records),
            "### Per pair", markdown_table(MINMAX_HEADERS, [minmax_row(r) for r in records],
                                           numeric_from=6),
        ]
    elif meta.get("set", "tsplib") in ("constrained", "large", "hard"):
        note = ("`constructed` is the cost of the routes the instance was built around. "
                if meta["set"] in ("constrained", "hard") else
                "Above 256 nodes ZEL improve runs the improvement phase alone, from its own "
                "first solution; `class` is the layout and size. ")
        parts = [
            f"## {title}", run_line(meta, block),
            "Gaps are taken to the best cost any solver found on the instance at any limit "
            "(`best found`). " + note + "PyVRP has no min-max objective. ZEL improve is the "
            'same document with `"improve": true` in its options.',
            "### Summary", summary_table(records, by_family=True),
            "### Min-max (longest route)", generated_table(records, "min_max"),
            "### Min-sum (total of the routes)", generated_table(records, "min_sum"),
        ]
    elif meta.get("set") in RULE_NOTES:
        parts = [f"## {title}", run_line(meta, block), RULE_NOTES[meta["set"]] + (
            " Gaps are to the better peer's objective at the same limit; `served` counts the "
            "targets on the routes, `penalty` what those left out cost; `constructed` is the "
            "plan's objective. The solvers of a case ran side by side (two solves at once), "
            "each on one thread." if meta.get("jobs", 1) > 1 else
            " Gaps are to the better peer's objective at the same limit; `served` counts the "
            "targets on the routes, `penalty` what those left out cost; `constructed` is the "
            "plan's objective. One solve at a time, each on one thread."),
            "### Summary", summary_table(records, by_family=True)]
        if not any(r["solver"].startswith("zel") for r in records):
            parts.insert(3, "ZEL improve: pending, not run here (the peers alone); its rows fill "
                            "in when the same command runs with ZEL installed.")
        for objective, heading in (("min_sum", "Min-sum"), ("min_max", "Min-max (longest route)")):
            if any(r["objective"] == objective for r in records):
                parts += [f"### {heading}", rules_table(records, objective)]
    elif meta.get("set") in ("cvrp", "vrptw", "fleet"):
        parts = [f"## {title}", run_line(meta, block), FLEET_NOTES[meta["set"]] + (
            ' ZEL improve runs to the limit, as the peers do (`"improve_stall"` 10^12).' + (
            " The solvers of a case ran side by side (two solves at once), each on one thread."
            if meta.get("jobs", 1) > 1 else " One solve at a time, each on one thread.")),
            "### Summary", summary_table(records, by_family=True)]
        for objective, heading in (("min_sum", "Min-sum"), ("min_max", "Min-max (longest route)")):
            if any(r["objective"] == objective for r in records):
                parts += [f"### {heading}", fleet_table(records, objective)]
    else:
        parts = [
            f"## {title}", run_line(meta, block),
            "### Summary", summary_table(records),
            "### Min-max (longest route)", runs_table(records, "min_max"),
            "### Min-sum (total length)",
            "`best known` is the total when agents may stay idle (the single tour): the optimum "
            "at 2 agents, a lower bound (lb) above that; `all agents work` is the total when each "
            "agent must visit a target. Every solver may leave agents idle, ZEL at most one.",
            runs_table(records, "min_sum"),
        ]
    if time_buys(records):
        parts += ["### Does a longer limit buy a better answer",
                  "Of the cases whose answer at the shorter limit is not at the reference "
                  "(best known or best found; unsolved included), those where the longer "
                  "limit's answer is better.", time_buys_table(records)]
    lost = failures(records)
    if lost:
        parts += ["### Not solved", "\n".join(lost)]
    parts += [f"![anytime curves]({anytime_png})", f"![gap per case]({gaps_png})"]
    return "\n\n".join(parts)


def main(argv: list[str]) -> None:
    """`time-buys FILE...`: the shorter-against-longer limit table of saved records, per
    file and over all of them (the runs of one set pooled, so one file's 1 s and another's
    10 s make a pair)."""
    if len(argv) < 2 or argv[0] != "time-buys":
        raise SystemExit("usage: python bench/report.py time-buys RESULTS.json ...")
    every: list[dict] = []
    for path in argv[1:]:
        with open(path, encoding="utf-8") as handle:
            meta = json.load(handle)
        records = meta["records"]
        for r in records:  # one set's runs at different limits pair up; names repeat across sets
            every.append({**r, "instance": f"{meta.get('set', 'tsplib')}:{r['instance']}"})
        print(f"{path}\n\n{time_buys_table(records) if time_buys(records) else 'one limit only'}\n")
    if len(argv) > 2 and time_buys(every):
        print(f"all of them\n\n{time_buys_table(every)}\n")


if __name__ == "__main__":
    main(sys.argv[1:])
