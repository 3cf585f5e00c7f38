"""Waiting for the programs under test: poll with a deadline, never sleep a
fixed time and hope."""

import time


def wait_until(predicate, timeout=5.0, interval=0.05, message=None):
    """Calls predicate until it returns a true value and returns that value.

    Raises AssertionError naming what was awaited and the last value seen
    when `timeout` seconds pass first.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            what = message or getattr(predicate, "__name__", repr(predicate))
            raise AssertionError(f"timed out after {timeout} s waiting for {what}; last value: {value!r}")
        time.sleep(interval)
