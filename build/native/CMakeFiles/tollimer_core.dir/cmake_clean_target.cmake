file(REMOVE_RECURSE
  "libtollimer_core.a"
)
