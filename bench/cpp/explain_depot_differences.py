"""Compares two equivalence dumps instance by instance and tells whether every
instance that differs has an agent whose own depot is another agent's depot in the
other role (the only instances the depot rules for own depots change):
    python bench/cpp/explain_depot_differences.py OLD_DUMP NEW_DUMP
A dump is the output of zel_equivalence_dump --count N of either build."""
import re, sys
def blocks(path):
    out = {}; cur = None
    for line in open(path):
        if line.startswith('== seed '):
            cur = line; out[cur] = []
        elif cur: out[cur].append(line)
    return out
old, new = blocks(sys.argv[1]), blocks(sys.argv[2])
assert list(old) == list(new)
def shared_roles(header):
    m = re.search(r'return_to_end=(\d) depots=(\S*)', header)
    rte = m.group(1) == '1'
    pairs = [tuple(map(int, p.split('>'))) for p in m.group(2).strip(',').split(',') if p]
    starts = {s for s, _ in pairs}; ends = {e for _, e in pairs}
    for s, e in pairs:
        for v in {s, e}:
            if (v in starts and v != s) or (v in ends and v != e):
                return True
    return False
diff = [h for h in old if old[h] != new[h]]
explained = [h for h in diff if shared_roles(h)]
print(f"{len(old)} instances, {len(diff)} differ, {len(explained)} of them have an agent whose own depot is another agent's depot in the other role")
for h in diff:
    if h not in explained: print("UNEXPLAINED", h.strip())
solved_old = sum(1 for h in diff if any(l.startswith('status=1') for l in old[h]))
solved_new = sum(1 for h in diff if any(l.startswith('status=1') for l in new[h]))
print(f"among the differing: solved before {solved_old}, after {solved_new}")
def val(lines, key):
    for l in lines:
        m = re.search(key + r'=(\S+)', l)
        if l.startswith('status=1') and m: return float(m.group(1))
better = worse = same = 0
for h in diff:
    a, b = val(old[h], 'max_cost'), val(new[h], 'max_cost')
    c, d = val(old[h], 'cost_sum'), val(new[h], 'cost_sum')
    if None in (a, b): continue
    if (b, d) < (a, c): better += 1
    elif (b, d) > (a, c): worse += 1
    else: same += 1
print(f"both solved: longest route (then sum) lower after {better}, higher {worse}, equal {same}")
