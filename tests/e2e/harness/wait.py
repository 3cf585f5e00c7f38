"""Waiting for the programs under test: poll with a deadline, never sleep a
fixed time and hope."""

import time

from .paths import emulated

# Under emulation each start of a 32-bit program translates its code afresh
# and takes tens of seconds (the watch cycle keeps its pace afterwards):
# every deadline stretches by this much there, and nowhere else.
EMULATION_SLOWNESS = 10


def patience(seconds):
    """A deadline of `seconds` on this machine: longer where 32-bit programs
    run under emulation."""
    return seconds * EMULATION_SLOWNESS if emulated() else seconds


def wait_until(predicate, timeout=5.0, interval=0.05, message=None):
    """Calls predicate until it returns a true value and returns that value.

    Raises AssertionError naming what was awaited and the last value seen
    when `timeout` seconds (stretched by patience()) pass first.
    """
    timeout = patience(timeout)
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            what = message or getattr(predicate, "__name__", repr(predicate))
            raise AssertionError(f"timed out after {timeout} s waiting for {what}; last value: {value!r}")
        time.sleep(interval)
