#!/usr/bin/env bash
# Runs packaging/build_date.cmake as a build does and checks the date of the
# header it writes: SOURCE_DATE_EPOCH set for the build wins over its value
# when configuring, and with neither the release date counts; the date is
# the UTC one (the time zone here is 14 hours ahead of UTC); a value that is
# not a number of seconds stops the build; an unchanged header is left
# untouched and a changed one rewritten.
# Usage: build_date_test.sh SCRIPT SCRATCH-ROOT
set -uo pipefail
script=$1
# shellcheck source=tests/scratch.sh
source "$(dirname "$0")/scratch.sh"
# shellcheck source=tests/failures.sh
source "$(dirname "$0")/failures.sh"
work=$(new_scratch_folder "$2" build-date) || exit 1
trap 'rm -rf "$work"' EXIT
header=$work/build_date.h
export TZ=Pacific/Kiritimati
if [[ $(date -d @1740871800 +%F) != 2025-03-02 ]]; then
  echo "FAILED: the time zone $TZ is not installed (Debian package tzdata)"
  exit 1
fi


# build BUILD-EPOCH CONFIGURE-EPOCH: runs the script, with SOURCE_DATE_EPOCH
# set to BUILD-EPOCH (unset when "-") and the configure-time value given.
build() {
  local environment=(env -u SOURCE_DATE_EPOCH)
  [[ $1 == - ]] || environment=(env "SOURCE_DATE_EPOCH=$1")
  "${environment[@]}" cmake -DVELMORJOB_DATE=2001-02-03 "-DVELMORJOB_CONFIGURE_EPOCH=$2" \
    "-DVELMORJOB_OUTPUT=$header" -P "$script"
}

# The release date is long past, so that it is not today's; 1740871800 is
# 2025-03-01 23:30 UTC (2025-03-02 here); 1700000000 is 2023-11-14 22:13
# UTC.
cases=(
  # build epoch | configure epoch | date
  "-|-|2001-02-03"
  "-|1740871800|2025-03-01"
  "1740871800|-|2025-03-01"
  "1740871800|1700000000|2025-03-01"
  "|1700000000|2023-11-14"
  "0|-|1970-01-01"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r build_epoch configure_epoch date <<<"$entry"
  [[ $configure_epoch == - ]] && configure_epoch=
  rm -f "$header"
  if ! output=$(build "$build_epoch" "$configure_epoch" 2>&1); then
    fail "build epoch \"$build_epoch\", configure epoch \"$configure_epoch\": the script failed" "$output"
    continue
  fi
  line=$(grep 'kBuildDate' "$header")
  if [[ $line != "constexpr char kBuildDate[] = \"$date\";" ]]; then
    fail "build epoch \"$build_epoch\", configure epoch \"$configure_epoch\": $line, expected $date"
  fi
done

for epoch in 12abc -5 1.5 ' 7'; do
  rm -f "$header"
  if output=$(build "$epoch" "" 2>&1); then
    fail "SOURCE_DATE_EPOCH=\"$epoch\" was taken"
  elif [[ $output != *"SOURCE_DATE_EPOCH is \"$epoch\", not a number of seconds"* ]]; then
    fail "SOURCE_DATE_EPOCH=\"$epoch\": the script said" "$output"
  fi
  [[ -e $header ]] && fail "SOURCE_DATE_EPOCH=\"$epoch\" wrote the header"
done

# The same date again leaves the header as it is (its time stays at 1970),
# so that nothing is rebuilt; another date rewrites it.
build - "" && touch -d @0 "$header"
build - ""
[[ $(stat -c %Y "$header") == 0 ]] || fail "an unchanged header was written again"
build 1740871800 ""
grep -q '"2025-03-01"' "$header" || fail "a changed date was not written" "$(cat "$header")"

((failures)) || echo "ok: the build date"
exit $((failures > 0))
