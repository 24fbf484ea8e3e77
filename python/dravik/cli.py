"""Command line of dravik: `python -m dravik --help`."""
import sys


def main(argv=None):
    print("dravik: no commands yet", file=sys.stderr)
    return 2
