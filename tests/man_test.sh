#!/usr/bin/env bash
# Renders each manual page with groff and with man, warnings on; any warning
# fails the test. Usage: man_test.sh PAGE...
set -uo pipefail
failures=0
for page in "$@"; do
  warnings=$(groff -man -ww -z "$page" 2>&1)
  rendered=$(MANROFFOPT=-ww MANWIDTH=80 man -l -P cat "$page" 2>&1 >/dev/null)
  status=$?
  if [[ -n $warnings || -n $rendered || $status -ne 0 ]]; then
    echo "FAILED: $page"
    printf '%s\n' "$warnings" "$rendered"
    failures=$((failures + 1))
  else
    echo "ok: $page"
  fi
done
exit $((failures > 0))
