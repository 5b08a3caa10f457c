"""pyzel: the ZEL multiple travelling salesman solver for Python users.

The solver itself is the compiled module ``_pyzel_core``; this package adds the
command line (``pyzel``), TSPLIB conversion (``pyzel.tsplib``), the result
checker (``pyzel.validate``) and pictures (``pyzel.plot``).
"""

__version__ = "0.1.0"
