#!/usr/bin/env bash
# Sources the bash completion and checks the candidates it offers.
# Usage: completion_test.sh COMPLETION-SCRIPT VELMORJOB-BINARY
set -uo pipefail
completion=$1
binary=$2
failures=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir bin conf.d
ln -s "$binary" bin/velmorjob
PATH=$work/bin:$PATH
printf '[Job nightly]\n[Index]\n[Job nightly-full]\n[Job weekly]\n[Job ]\n[Job nightly]\n' >search.conf
printf '[Job other]\n[Job oneoff]\n' >conf.d/other.conf

# shellcheck source=/dev/null
source "$completion"

# expect "WORDS..." "CANDIDATES (one line, space separated)"
expect() {
  local line=$1 want=$2 got
  read -r -a COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velmorjob
  got="${COMPREPLY[*]}"
  if [[ $got == "$want" ]]; then
    echo "ok: '$line' -> '$got'"
  else
    echo "FAILED: '$line': expected '$want', got '$got'"
    failures=$((failures + 1))
  fi
}

expect "velmorjob " "nightly nightly-full weekly"
expect "velmorjob night" "nightly nightly-full"
expect "velmorjob w" "weekly"
expect "velmorjob x" ""
expect "velmorjob --dry-run n" "nightly nightly-full"
expect "velmorjob --" "--config= --dry-run --verbose --check --list --help --version"
expect "velmorjob --c" "--config= --check"
expect "velmorjob --v" "--verbose --version"
expect "velmorjob --config=conf.d/other.conf o" "other oneoff"
expect "velmorjob --config = conf.d/other.conf o" "other oneoff"
expect "velmorjob --config=absent.conf " ""
expect "velmorjob --config=conf.d/o" "--config=conf.d/other.conf"
expect "velmorjob --config = conf.d/o" "conf.d/other.conf"

echo "$failures failed"
exit $((failures > 0))
