"""Checks of single values (numbers, whole numbers, ids, windows, matrices), shared by the
fleet model, the document reader and the instance check. Each refusal names what it checked."""

from __future__ import annotations

import math
from typing import Any

U64 = 1 << 64


def is_number(value: Any) -> bool:
    """A JSON number as Python reads one: an int or a float, not a bool."""
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def is_int(value: Any) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


def number_rows(matrix: Any) -> bool:
    """Whether `matrix` is a list of lists of numbers; one pass at the speed of C."""
    return isinstance(matrix, list) and all(
        isinstance(row, list) and set(map(type, row)) <= {int, float} for row in matrix
    )


def finite(value: Any, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
        raise ValueError(f"{what} must be a finite number, not {value!r}")
    number: float = value  # kept as given, so whole numbers stay whole in the document
    return number


def positive(value: Any, what: str) -> float:
    number = finite(value, what)
    if number <= 0:
        raise ValueError(f"{what} must be greater than 0, not {value!r}")
    return number


def count(value: Any, what: str, least: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int) or value < least:
        raise ValueError(f"{what} must be a whole number of at least {least}, not {value!r}")
    return value


def new_id(value: int | None, used: set[int], what: str) -> int:
    """`value`, or the next free id when None; refuses one in use or outside 64 bits."""
    if value is None:
        return max(used, default=-1) + 1
    if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value < U64:
        raise ValueError(f"{what} id must be a whole number from 0 to 2**64 - 1, not {value!r}")
    if value in used:
        raise ValueError(f"{what} id {value} is already used")
    return value


def window(value: Any, where: str) -> tuple[float, float] | None:
    if value is None:
        return None
    try:
        start, end = value
    except (TypeError, ValueError):
        raise ValueError(f"{where}: window must be a pair (start, end), not {value!r}") from None
    start, end = finite(start, f"{where}: window start"), finite(end, f"{where}: window end")
    if start > end:
        raise ValueError(f"{where}: window ({start:g}, {end:g}) starts after it ends")
    return start, end


def square(matrix: Any, where: str) -> list[list[float]]:
    rows = matrix.tolist() if hasattr(matrix, "tolist") else matrix  # a numpy array, without importing numpy
    try:
        table = [[finite(v, f"{where}: matrix entry") for v in row] for row in rows]
    except TypeError:
        raise ValueError(f"{where}: the matrix must be a list of rows of numbers") from None
    if any(len(row) != len(table) for row in table):
        raise ValueError(f"{where}: the matrix must be square, {len(table)} rows of {len(table)} numbers")
    return table
