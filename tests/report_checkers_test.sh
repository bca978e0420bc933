#!/usr/bin/env bash
# Writes sample run reports and metrics files with the C++ code and checks
# them with tools/check-report and tools/check-metrics; then breaks them in
# the ways a faulty writer could and requires the checkers to fail.
# Usage: report_checkers_test.sh REPORT-SAMPLES-PROGRAM SOURCE-DIR SCRATCH-DIR
set -euo pipefail
samples=$1
source_dir=$2
check_report=(/usr/bin/python3 "$source_dir/tools/check-report")
check_metrics=(/usr/bin/python3 "$source_dir/tools/check-metrics")
# shellcheck source=tests/scratch.sh
source "$(dirname "$0")/scratch.sh"
# shellcheck source=tests/failures.sh
source "$(dirname "$0")/failures.sh"
work=$(new_scratch_folder "$3" checkers)
trap 'rm -rf "$work"' EXIT


expect_pass() {  # expect_pass WHAT COMMAND...
  local what=$1 output
  shift
  if output=$("$@" 2>&1); then
    echo "ok: $what"
  else
    fail "$what"
    printf '%s\n' "$output"
  fi
}

expect_fail() {  # expect_fail WHAT COMMAND...
  local what=$1 output status=0
  shift
  output=$("$@" 2>&1) || status=$?
  if [[ $status -eq 1 && $output == *FAILED* ]]; then
    echo "ok: rejected $what"
  else
    fail "$what was not rejected (status $status)"
    printf '%s\n' "$output"
  fi
}

mkdir "$work/good" "$work/bad"
"$samples" "$work/good"
cd "$work/good"

expect_pass "every report" "${check_report[@]}" ./*.json
for name in clean hostile stopped; do
  expect_pass "$name.prom" "${check_metrics[@]}" --job-of="$name.json" --last-success=set "$name.prom"
done
for name in config-errors timeout retried locked; do
  expect_pass "$name.prom" "${check_metrics[@]}" --job-of="$name.json" --last-success=zero "$name.prom"
done
# The name as the parsers read it back: the bytes that were not UTF-8 each
# became U+FFFD.
expect_pass "the hostile job name read back" "${check_metrics[@]}" \
  --job=$'we"ird\\name\nwith\tcontrol\x01 and \xef\xbf\xbd\xef\xbf\xbd bytes' hostile.prom
expect_pass "the carried-over success" grep -qx \
  'velmorjob_last_success_timestamp_seconds{job_name="we\\"ird\\\\name\\nwith.*} 1796869810.579' hostile.prom
# The run refused by the lock left the metrics of the run before it.
expect_pass "the metrics before the lock" grep -qx \
  'velmorjob_last_run_exit_status{job_name="nightly"} 3' locked.prom

# Copies of the good files, each broken in one way a faulty writer could.
broken() {  # broken NAME SOURCE SED-SCRIPT
  sed "$3" "$2" >"$work/bad/$1"
  if cmp -s "$2" "$work/bad/$1"; then
    fail "the edit of $1 changed nothing"
  fi
}
broken missing-field.json clean.json '/"host":/d'
broken extra-field.json clean.json '1s/{/{ "extra": 1,/'
broken wrong-result.json clean.json 's/"result": "ok"/"result": "step-failed"/'
broken unknown-word.json clean.json 's/"result": "ok"/"result": "OK"/'
broken hour-24.json clean.json 's/T02:30:00.123Z/T24:30:00.123Z/'
broken february-30.json clean.json 's/"2026-12-10T02:30:00.123Z"/"2026-02-30T02:30:00.123Z"/'
broken not-utc.json clean.json 's/\.123Z"/.123+01:00"/'
broken relative-path.json clean.json 's|"/srv/search"|"srv/search"|'
broken status-and-signal.json stopped.json 's/"exit_status": null/"exit_status": 0/'
broken not-a-number.json clean.json 's/"duration_seconds": 3723.456/"duration_seconds": NaN/'
broken key-twice.json clean.json 's/"host": "idx1.example"/"host": "a", "host": "b"/'
broken not-utf8.json clean.json $'s/idx1/idx\xff/'
broken unescaped-quote.json hostile.json 's/we\\"ird/we"ird/'
head -c 300 clean.json >"$work/bad/cut.json"
printf '%s' "$(cat clean.json)" >"$work/bad/no-newline.json"

broken missing-gauge.prom clean.prom '/velmorjob_last_run_failed_steps/d'
broken missing-retries.prom clean.prom '/velmorjob_last_run_retries/d'
broken missing-success.prom timeout.prom '/velmorjob_last_success_timestamp_seconds/d'
broken counter.prom clean.prom 's/^# TYPE velmorjob_last_run_exit_status gauge/# TYPE velmorjob_last_run_exit_status counter/'
broken no-help.prom clean.prom '/^# HELP velmorjob_last_run_duration_seconds/d'
broken another-label.prom clean.prom 's/{job_name="nightly"}/{job_name="nightly",host="a"}/'
broken old-label.prom clean.prom 's/{job_name="nightly"}/{job="nightly"}/'
broken two-jobs.prom clean.prom '0,/{job_name="nightly"}/s//{job_name="weekly"}/'
broken unknown-metric.prom clean.prom '/^velmorjob_last_run_exit_status{/a velmorjob_other{job_name="nightly"} 1'
broken early-success.prom clean.prom 's/^\(velmorjob_last_success_timestamp_seconds{job_name="nightly"}\) .*/\1 17/'
broken fraction.prom timeout.prom 's/^\(velmorjob_last_run_failed_steps{job_name="hourly"}\) .*/\1 2.5/'
broken fraction-retries.prom retried.prom 's/^\(velmorjob_last_run_retries{job_name="hourly"}\) .*/\1 0.5/'
broken negative.prom timeout.prom 's/^\(velmorjob_last_run_duration_seconds{job_name="hourly"}\) .*/\1 -1/'
broken negative-success.prom timeout.prom 's/^\(velmorjob_last_success_timestamp_seconds{job_name="hourly"}\) .*/\1 -1/'
broken unescaped-quote.prom hostile.prom 's/we\\"ird/we"ird/g'
broken step-label-order.prom clean.prom 's/,step="1",program="\.\/indexer"/,program=".\/indexer",step="1"/g'
broken step-without-program.prom clean.prom 's/,program="\.\/runner"//g'
broken step-zero.prom clean.prom 's/step="1"/step="0"/g'
broken step-twice.prom clean.prom 's/step="2"/step="1"/g'
broken step-missing.prom timeout.prom '/^velmorjob_last_run_step_duration_seconds{.*step="2"/d'
broken step-negative-duration.prom timeout.prom 's/^\(velmorjob_last_run_step_duration_seconds{.*step="2".*}\) .*/\1 -3/'
broken step-status-below.prom timeout.prom 's/^\(velmorjob_last_run_step_exit_status{.*step="3".*}\) .*/\1 -2/'
broken step-status-fraction.prom timeout.prom 's/^\(velmorjob_last_run_step_exit_status{.*step="2".*}\) .*/\1 0.5/'
broken step-failed-in-clean-run.prom clean.prom 's/^\(velmorjob_last_run_step_exit_status{.*step="2".*}\) .*/\1 1/'
broken more-failed-than-ran.prom locked.prom 's/^\(velmorjob_last_run_failed_steps{job_name="nightly"}\) .*/\1 2/'
# Only promtool, whose parser is stricter, rejects these two.
broken type-after-samples.prom clean.prom '/^velmorjob_last_run_retries{/a # TYPE velmorjob_last_run_retries gauge'
broken help-escape.prom clean.prom 's/^\(# HELP velmorjob_last_run_retries How many\)/\1\\x/'
head -c 200 clean.prom >"$work/bad/cut.prom"

expect_each_rejected() {  # expect_each_rejected COMMAND... -- FILE...
  local command=() output status=0 file
  while [[ $1 != -- ]]; do
    command+=("$1")
    shift
  done
  shift
  output=$("${command[@]}" "$@" 2>&1) || status=$?
  [[ $status -eq 1 ]] || fail "status $status from ${command[*]##*/}"
  for file in "$@"; do
    if grep -qxF "FAILED: $file" <<<"$output"; then
      echo "ok: rejected ${file##*/}"
    else
      fail "${file##*/} was not rejected"
    fi
  done
  printf '%s\n' "$output" | sed 's/^/  | /'
}

expect_each_rejected "${check_report[@]}" -- "$work"/bad/*.json
expect_each_rejected "${check_metrics[@]}" -- "$work"/bad/*.prom
expect_fail "one bad report among good ones" "${check_report[@]}" clean.json "$work/bad/cut.json" locked.json
expect_fail "another job than expected" "${check_metrics[@]}" --job=weekly clean.prom
expect_fail "the hostile name read back differently" "${check_metrics[@]}" \
  --job=$'we"ird\\name\nwith\tcontrol\x01 and \xff\xc0 bytes' hostile.prom
expect_fail "a success where none is expected" "${check_metrics[@]}" --last-success=zero clean.prom
expect_fail "no success where one is expected" "${check_metrics[@]}" --last-success=set locked.prom
# promtool itself must be there: a checker that cannot run it fails.
mkdir "$work/no-promtool"
expect_fail "a file that promtool could not check" env PATH="$work/no-promtool" \
  "${check_metrics[@]}" clean.prom

exit $((failures > 0))
