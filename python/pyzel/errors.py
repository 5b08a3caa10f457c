"""The one error type of bad input: the command line turns it into a one-line message and exit status 2."""

from __future__ import annotations


class InputError(ValueError):
    """A file, document or argument that cannot be used as given; `hint`, when given,
    is what to do instead, which the command line prints on a line of its own."""

    def __init__(self, message: str, hint: str | None = None) -> None:
        super().__init__(message)
        self.hint = hint
