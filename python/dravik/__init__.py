"""dravik: discovers and checks equivalences between small quantum circuits.

The classes live in the compiled module `dravik.dravik`; this package
re-exports them.
"""
from . import dravik as _native
from .dravik import *  # noqa: F401,F403
from .dravik import InternalError

__all__ = list(_native.__all__)
