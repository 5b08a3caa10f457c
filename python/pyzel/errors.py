"""The one error type of bad input, which the command line turns into a one-line message and
exit status 2, and the warning of a document that departs from the instance format."""

from __future__ import annotations


class InputError(ValueError):
    """A file, document or argument that cannot be used as given; `hint`, when given,
    is what to do instead, which the command line prints on a line of its own."""

    def __init__(self, message: str, hint: str | None = None) -> None:
        super().__init__(message)
        self.hint = hint


class InstanceWarning(UserWarning):
    """A document the solver reads otherwise than it seems to say (what ``pyzel check`` names)."""
