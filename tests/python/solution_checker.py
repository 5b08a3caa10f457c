"""The one solution checker of the Python tests: verifies a result dictionary
against the JSON instance it answers."""

TOL = 1e-6


def _index_of(doc):
    index = {}
    for i, node in enumerate(doc["nodes"]):
        index[node["id"]] = i  # a later duplicate wins, as in the solver
    return index


def _allowed(doc):
    allowed = {}
    for c in doc.get("constraints", []):
        if c.get("kind") == "assignment":
            for item in c["items"]:
                allowed[item["node"]] = set(item["types"])
    return allowed


def _windows(doc):
    windows = {}
    for c in doc.get("constraints", []):
        if c.get("kind") == "timewindow":
            for item in c["items"]:
                windows[item["node"]] = (item["start"], item["end"])
    return windows


def _costs(doc):
    costs = doc.get("costs", {})
    if isinstance(costs, list):
        costs = {str(i): m for i, m in enumerate(costs)}
    return costs


def route_problems(doc, result):
    """Every violation found, as readable lines; an empty list means valid."""
    problems = []
    opts = doc.get("options", {})
    return_to_end = opts.get("return_to_end", True)
    index = _index_of(doc)
    allowed = _allowed(doc)
    windows = _windows(doc)
    costs = _costs(doc)
    node_ids = [n["id"] for n in doc["nodes"]]
    agents = doc["agents"]
    starts = [index[a["start_node"]] for a in agents]
    ends = [index[a["end_node"]] for a in agents]
    depots = set(starts) | set(ends)

    if result["status"] != "success":
        return ["status is " + result["status"]]
    seen = {}
    for k, (agent, route) in enumerate(zip(agents, result["routes"])):
        path = route["path"]
        s, e = starts[k], ends[k]
        name = f"agent {k}"
        if route["agent_id"] != agent["id"]:
            problems.append(f"{name}: agent_id {route['agent_id']} != {agent['id']}")
        if not path:
            problems.append(f"{name}: empty path")
            continue
        if path[0] != s:
            problems.append(f"{name}: starts at {path[0]}, not {s}")
        last_ok = path[-1] == e or (not return_to_end and path[-1] == s)
        if not last_ok:
            problems.append(f"{name}: ends at {path[-1]}")
        matrix = costs[agent["type"]]
        t = 0.0
        for p, v in enumerate(path):
            nid = node_ids[v]
            if nid in allowed and agent["type"] not in allowed[nid]:
                problems.append(f"{name}: type {agent['type']} not allowed at node {v}")
            if v in depots and v not in (s, e):
                problems.append(f"{name}: enters foreign depot {v}")
            if 0 < p < len(path) - 1 and v in (s, e):
                problems.append(f"{name}: passes its own depot {v} mid-route")
            if v not in depots:
                seen[v] = seen.get(v, 0) + 1
            if p > 0:
                u = path[p - 1]
                free = u == v or (not return_to_end and v in (s, e))
                t += 0.0 if free else matrix[u][v]
            if nid in windows:
                a, b = windows[nid]
                if t > b + TOL:
                    problems.append(f"{name}: reaches node {v} at {t}, window closes at {b}")
                t = max(t, a)
            limit = agent.get("max_length", 0)
            if limit > 0 and t > limit + TOL:
                problems.append(f"{name}: time {t} over limit {limit}")
        if abs(t - route["cost"]) > TOL:
            problems.append(f"{name}: reported cost {route['cost']} != recomputed {t}")
    for v in range(len(node_ids)):
        if v in depots:
            continue
        if seen.get(v, 0) != 1:
            problems.append(f"node {v} visited {seen.get(v, 0)} times")
    costs_reported = [r["cost"] for r in result["routes"]]
    stats = result["statistics"]
    if abs(stats["max_cost"] - max([0.0] + costs_reported)) > TOL:
        problems.append("statistics max_cost differs from the routes")
    if abs(stats["sum_cost"] - sum(costs_reported)) > TOL:
        problems.append("statistics sum_cost differs from the routes")
    return problems
