#!/usr/bin/env bash
# Sources the bash completion and checks the candidates it offers.
# Usage: completion_test.sh COMPLETION-SCRIPT VELMORJOB-BINARY SCRATCH-DIR
set -uo pipefail
completion=$1
binary=$2
scratch=$3
failures=0

# shellcheck source=tests/scratch.sh
source "$(dirname "$0")/scratch.sh"
work=$(new_scratch_folder "$scratch" completion) || exit 1
trap 'rm -rf "$work"' EXIT
# shellcheck source=/dev/null
source "$completion" || exit 1
cd "$work" || exit 1
mkdir bin conf.d glob 'my dir'
ln -s "$binary" bin/velmorjob
PATH=$work/bin:$PATH
printf '[Job nightly]\n[Index]\n[Job nightly-full]\n[Job weekly]\n[Job ]\n[Job nightly]\n' >search.conf
printf '[Job al pha]\n[Job alpha]\n[Job st*r]\n' >>search.conf
printf '[Job other]\n[Job oneoff]\n' >conf.d/other.conf
printf '[Job spaced]\n' >'my dir/jobs.conf'
# Names that a glob would expand to other names here.
touch glob/'[ab].conf' glob/a.conf glob/'x*y.conf' glob/xay.conf stir


# complete WORD... : the candidates for the last word, sorted, on one line.
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velmorjob
  if ((${#COMPREPLY[@]})); then printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '; fi
}

# expect_words "CANDIDATES" WORD... : the words as bash splits the line, the
# last one being completed; candidates space separated, in sorted order.
expect_words() {
  local want=$1 got
  shift
  got=$(complete_words "$@")
  if [[ $got == "$want" ]]; then
    echo "ok: $* -> '$got'"
  else
    echo "FAILED: $*: expected '$want', got '$got'"
    failures=$((failures + 1))
  fi
}

# expect "LINE" "CANDIDATES": the same for a line whose words hold no blank.
expect() {
  local -a words
  read -r -a words <<<"$1"
  [[ $1 == *" " ]] && words+=("")
  expect_words "$2" "${words[@]}"
}

expect "velmorjob " "al\\ pha alpha nightly nightly-full st\\*r weekly"
expect "velmorjob night" "nightly nightly-full"
expect "velmorjob w" "weekly"
expect "velmorjob x" ""
expect "velmorjob --dry-run n" "nightly nightly-full"
# A job name holding a blank or a glob character, typed escaped or quoted.
expect "velmorjob al" "al\\ pha alpha"
expect_words "al\\ pha" velmorjob 'al\ '
expect_words "al\\ pha" velmorjob "'al p"
expect_words "al\\ pha" velmorjob '"al p'
expect "velmorjob st" "st\\*r"
expect_words "st\\*r" velmorjob 'st\*'

expect "velmorjob --c" "--check --config="
expect "velmorjob --v" "--verbose --version"
expect "velmorjob --l" "--list --lock --lock-wait= --lock="
expect "velmorjob --config=conf.d/other.conf o" "oneoff other"
expect "velmorjob --config = conf.d/other.conf o" "oneoff other"
expect_words "spaced" velmorjob --config = 'my\ dir/jobs.conf' ''
expect_words "spaced" velmorjob "--config='my dir/jobs.conf'" s
expect "velmorjob --config=absent.conf " ""

# File names after the options that take one; names with glob characters
# are offered as they are, not expanded.
expect "velmorjob --config=conf.d/o" "--config=conf.d/other.conf"
expect "velmorjob --config = conf.d/o" "conf.d/other.conf"
expect "velmorjob --config =" "bin conf.d glob my dir search.conf stir"
expect "velmorjob --report = conf.d/o" "conf.d/other.conf"
expect "velmorjob --metrics=conf.d/o" "--metrics=conf.d/other.conf"
expect "velmorjob --lock = glob/x" "glob/x*y.conf glob/xay.conf"
expect "velmorjob --config = glob/" "glob/[ab].conf glob/a.conf glob/x*y.conf glob/xay.conf"
expect_words "my dir/jobs.conf" velmorjob --config = 'my\ dir/j'
expect "velmorjob --timeout = c" ""

# Every option that --help lists is offered.
mapfile -t help_options < <("$binary" --help | grep -oE '^ +--[a-z-]+=?' | tr -d ' ')
offered=" $(complete_words velmorjob --) "
for option in "${help_options[@]}"; do
  if [[ $offered == *" $option "* ]]; then
    echo "ok: --help's $option is offered"
  else
    echo "FAILED: --help lists $option, the completion does not offer it"
    failures=$((failures + 1))
  fi
done
((${#help_options[@]} >= 7)) || {
  echo "FAILED: --help listed only: ${help_options[*]}"
  failures=$((failures + 1))
}

echo "$failures failed"
exit $((failures > 0))
