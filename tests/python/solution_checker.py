"""The tests' solution checker: the one in the package, under the name the tests use."""

from pyzel.validate import TOL, check_result, route_problems

__all__ = ["TOL", "check_result", "route_problems"]
