#!/usr/bin/env bash
# Checks each manual page with both formatters: groff and man render it with
# no warning, "mandoc -T lint" has nothing to say, no line rendered at 80
# columns is wider than 80 (by man and by mandoc), and the texts listed below
# come out as written. Usage: man_test.sh PAGE...
set -uo pipefail
# shellcheck source=tests/failures.sh
source "$(dirname "$0")/failures.sh"
width=80

# Rendered text that each page must show exactly, one per line, as
# "page-file-name<TAB>text".
expected_texts=$(
  cat <<'EOF'
search.conf.5	" [Job nightly]"
EOF
)


# Lines wider than the width in a rendering on standard input.
too_wide() {
  col -bx | awk -v width="$width" 'length > width { print length ": " $0 }'
}

for page in "$@"; do
  before=$failures
  name=$(basename "$page")

  warnings=$(groff -man -ww -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "groff on $page:" "$warnings"
  errors=$(MANROFFOPT=-ww MANWIDTH=$width man -l -P cat "$page" 2>&1 >/dev/null)
  status=$?
  if ((status != 0)) || [[ -n $errors ]]; then
    fail "man on $page (status $status):" "$errors"
  fi
  declare -A rendered=()
  rendered[man]=$(LC_ALL=C MANWIDTH=$width man -l -P cat "$page" 2>&1)
  lint=$(mandoc -T lint "$page" 2>&1)
  [[ -z $lint ]] || fail "mandoc -T lint on $page:" "$lint"
  rendered[mandoc]=$(LC_ALL=C mandoc -T ascii -O width=$width "$page" 2>&1)

  for renderer in man mandoc; do
    wide=$(too_wide <<<"${rendered[$renderer]}")
    [[ -z $wide ]] || fail "$page rendered by $renderer is wider than $width columns:" "$wide"
    while IFS=$'\t' read -r text_page text; do
      [[ $text_page == "$name" ]] || continue
      # grep reads to the end (no -q): with pipefail, col would fail on the
      # closed pipe whenever the text came early.
      col -bx <<<"${rendered[$renderer]}" | grep -F -- "$text" >/dev/null ||
        fail "$page rendered by $renderer does not show: $text"
    done <<<"$expected_texts"
  done

  ((failures == before)) && echo "ok: $page"
done
exit $((failures > 0))
