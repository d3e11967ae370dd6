""  # the extension's docstring, empty
# The extension module `quarvel.quarvel` does the work; this package adds the command
# line, the logging bridge and the Ray functions beside it without changing what
# `import quarvel` offers: the same names, module and docstring.
from . import quarvel as _native

# Every public name of the extension, listed in `__all__` or not.
globals().update({name: value for name, value in vars(_native).items() if not name.startswith("_")})
__all__ = list(_native.__all__)
del _native
