"""The one error type of bad input: the command line turns it into a one-line message and exit status 2."""


class InputError(ValueError):
    """A file, document or argument that cannot be used as given."""
