"""Checks of single values (numbers, whole numbers, ids, windows, matrices), shared by the
fleet model, the document reader and the instance check. Each refusal names what it checked."""

from __future__ import annotations

import math
import numbers
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


def real(value: Any, what: str) -> float:
    """A number of Python or numpy, not a bool; ints stay ints, so that whole numbers stay
    whole in a document."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{what} must be a number, not {value!r}")
    if isinstance(value, numbers.Integral):
        return int(value)
    return float(value)


def finite(value: Any, what: str) -> float:
    number = real(value, what)
    if not math.isfinite(number):
        raise ValueError(f"{what} must be a finite number, not {value!r}")
    return number


def positive(value: Any, what: str) -> float:
    number = finite(value, what)
    if number <= 0:
        raise ValueError(f"{what} must be greater than 0, not {value!r}")
    return number


def whole(value: Any, what: str) -> int:
    """A whole number: an int of Python or numpy, or a float without a fraction."""
    number = finite(value, what)
    if number != int(number):
        raise ValueError(f"{what} must be a whole number, not {value!r}")
    return int(number)


def count(value: Any, what: str, least: int) -> int:
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be a whole number of at least {least}, not {value!r}")
    if value < least:
        raise ValueError(f"{what} must be a whole number of at least {least}, not {value!r}")
    return int(value)


def flag(value: Any, what: str) -> bool:
    if not isinstance(value, bool) and type(value).__name__ != "bool_":  # numpy's bool is no bool
        raise TypeError(f"{what} must be True or False, not {value!r}")
    return bool(value)


def new_id(value: int | None, used: set[int], what: str) -> int:
    """`value`, or the next free id when None; refuses one in use or outside 64 bits."""
    if value is None:
        return max(used, default=-1) + 1
    if isinstance(value, bool) or not isinstance(value, numbers.Integral) or not 0 <= value < U64:
        raise ValueError(f"{what} id must be a whole number from 0 to 2**64 - 1, not {value!r}")
    if value in used:
        raise ValueError(f"{what} id {value} is already used")
    return int(value)


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
