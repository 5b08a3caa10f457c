"""A fleet from two depots: two trucks and a faster van. Some customers take trucks only,
some the van only, two must be reached within their time windows, and the van, which
ends its day at the other depot, may be on the road for at most 60.

Run it with `python examples/fleet.py`; the tests run it, check its solution and type-check it.
"""

from pyzel import Model

model = Model(objective="min_max")
north, south = model.add_depot(0, 0, id=100), model.add_depot(0, -40, id=200)
truck, van = model.add_agent_type("truck"), model.add_agent_type("van", speed=1.5)
customers = [  # id, x, y, time window, agent types (None: any)
    (1, 10, 5, None, None), (2, 20, -5, (0, 30), None), (3, 25, 10, None, [truck]),
    (4, -15, -10, None, [van]), (5, -5, -30, (50, 70), None), (6, 15, -35, None, [truck]),
    (7, -20, 5, None, None), (8, 5, -20, None, [van]),
]
for node_id, x, y, window, types in customers:
    model.add_target(x, y, id=node_id, window=window, types=types)
model.add_agent(truck, north, id=1)
model.add_agent(truck, south, id=2)
model.add_agent(van, north, end=south, max_length=60, id=3)

solution = model.solve(time_limit=5, budget=2000)
print(f"{solution.status}: longest route {solution.objective:.1f}")
for route in solution.routes:
    print(f"agent {route.agent_id} ({route.agent_type}): {' -> '.join(map(str, route.nodes))}, cost {route.cost:.1f}")
print(solution.table())
