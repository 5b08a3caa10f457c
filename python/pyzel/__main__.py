"""``python -m pyzel``: the same command line as ``pyzel``."""

import sys

from .cli import main

if __name__ == "__main__":
    sys.exit(main())
