# shellcheck shell=bash
# Sourced by the shell tests: how they tell and count a failure. A test ends
# with exit $((failures > 0)).

failures=0

# fail MESSAGE [DETAILS...]: tells a failure, the details on lines of their
# own, and counts it.
fail() {
  printf 'FAILED: %s\n' "$1"
  shift
  (($#)) && printf '%s\n' "$@"
  failures=$((failures + 1))
}
