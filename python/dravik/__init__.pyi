from .dravik import *
from .dravik import InternalError as InternalError
