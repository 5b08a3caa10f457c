"""The one error type of bad input, which the command line turns into a one-line message and
exit status 2, and the warning of a document that departs from the instance format."""


class InputError(ValueError):
    """A file, document or argument that cannot be used as given."""


class InstanceWarning(UserWarning):
    """A document the solver reads otherwise than it seems to say (what ``pyzel check`` names)."""
