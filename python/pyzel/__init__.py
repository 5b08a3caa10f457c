"""pyzel: the ZEL multiple travelling salesman solver for Python users.

The solver itself is the compiled module ``_pyzel_core``; this package adds the
command line (``pyzel``), TSPLIB conversion (``pyzel.tsplib``), the result
checker (``pyzel.validate``), pictures (``pyzel.plot``) and batches on this
machine or a Dask cluster (``pyzel.solve_many``).
"""

from .batch import solve_many

__version__ = "0.1.0"

__all__ = ["solve_many"]
