#!/usr/bin/env bash
# Benchmarks velmorjob against baselines on the same machine, in one go, and
# prints each figure and ratio. Inputs are generated in a scratch directory.
#   1. looking up the last job of a 2-million-line file with --dry-run,
#      against grep -n -m1 -F on the same file, in pairs of runs back to
#      back (goal: the median of the pairs' ratios at most 1.0x)
#   2. peak resident memory of that lookup, and of the same on a file ten
#      times larger (goal: under 4 MB)
#   3. a job of 300 steps whose program exits at once, against a C loop that
#      calls system() 300 times on the same command text, in pairs of runs
#      (goal: at most 1.05x)
#   4. the same job with --timeout, against the same job without it, in
#      pairs: the cost of watching each step's time (goal: at most 1.05x)
#   5. a step that writes 1 GB, passed on through velmorjob --keep-output=64K,
#      against the same step writing into cat >/dev/null, in pairs on one
#      core (goal: at most 1.2x), and velmorjob's peak resident memory
#      meanwhile (goal: the same as for a step that writes nothing, within
#      1 MB)
#   6. the job of 300 steps with --history, against the same job without
#      it, in pairs of runs (goal: at most 1.10x), and the history's growth
#      for each step it keeps
#   7. --runs and --status over a history of 100 jobs x 1,000 runs x 5 steps
#      (goal: each within 100 ms and 8 MB of resident memory)
# Usage: bench/run.sh [BUILD-DIR]   (default build/bench, built here)
# Needs cc, taskset (util-linux) and, to write the large history of 7,
# sqlite3 (Debian package sqlite3).
set -euo pipefail
if ! command -v sqlite3 >/dev/null; then
  echo "bench/run.sh needs sqlite3 (Debian package sqlite3)" >&2
  exit 1
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
if [[ ! -x $build/velmorjob ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELMORJOB_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" >/dev/null
fi
velmorjob=$build/velmorjob
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/runstat" "$root/bench/runstat.c"
cc -O2 -o "$work/pairstat" "$root/bench/pairstat.c"
cc -O2 -o "$work/system_loop" "$root/bench/system_loop.c"
runstat=$work/runstat

# A file of n jobs of 8 lines each, then the job "last".
generate() {  # generate FILE JOBS
  awk -v jobs="$2" 'BEGIN {
    for (i = 0; i < jobs; i++) {
      printf "[Job job%07d]\n[Index]\nURL http://www.example.com/search/index.html\nMaxFiles 500\n", i
      printf "CharSet koi8-r\nStatistic Append\n[Runner]\nFilename report\n"
    }
    printf "[Job last]\n[Runner]\nFilename done\n"
  }' >"$1"
}


echo "velmorjob benchmarks on $(nproc) cores, $(uname -sr)"

generate "$work/big.conf" 250000
lines=$(wc -l <"$work/big.conf")
megabytes=$(( $(stat -c %s "$work/big.conf") / 1000000 ))
cat "$work/big.conf" >/dev/null  # both read from the page cache
# Each pair runs the two back to back, which one first in turn, so that both
# see the same load of a shared machine.
read -r v_med g_med p_med p_q1 p_q3 v_rss _ < <("$work/pairstat" 21 \
  "$velmorjob" --dry-run "--config=$work/big.conf" last -- grep -n -m1 -F '[Job last]' "$work/big.conf")
echo
echo "1. lookup of the last job in $lines lines ($megabytes MB), 21 pairs of runs, median"
echo "   velmorjob --dry-run   ${v_med} s"
echo "   grep -n -m1 -F        ${g_med} s"
echo "   ratio in each pair    ${p_med}x median, middle half ${p_q1}x to ${p_q3}x (goal: at most 1.0x)"

generate "$work/huge.conf" 2500000
huge_lines=$(wc -l <"$work/huge.conf")
read -r _ _ h_rss < <("$runstat" 1 "$velmorjob" --dry-run "--config=$work/huge.conf" last)
echo
echo "2. peak resident memory of the lookup (goal: under 4 MB = 4096 kB)"
echo "   $lines lines    ${v_rss} kB"
echo "   $huge_lines lines   ${h_rss} kB"
rm -f "$work/huge.conf"

mkdir "$work/steps"
printf 'int main(void) { return 0; }\n' >"$work/steps/indexer.c"
cc -O2 -o "$work/steps/indexer" "$work/steps/indexer.c"
{ echo "[Job steps]"; for ((i = 0; i < 300; i++)); do echo "[Index]"; done; } >"$work/steps/search.conf"
cd "$work/steps"
"$velmorjob" steps >/dev/null  # warm up
read -r j_med s_med js_ratio js_q1 js_q3 _ < <("$work/pairstat" 21 \
  "$velmorjob" steps -- "$work/system_loop" 300 "./indexer ")
read -r t_med n_med tn_ratio tn_q1 tn_q3 _ < <("$work/pairstat" 21 \
  "$velmorjob" --timeout=1h --kill-after=10 steps -- "$velmorjob" steps)
echo
echo "3. a job of 300 steps whose program exits at once, 21 pairs of runs, median"
echo "   velmorjob             ${j_med} s"
echo "   C loop of system()    ${s_med} s"
echo "   ratio in each pair    ${js_ratio}x median, middle half ${js_q1}x to ${js_q3}x (goal: at most 1.05x)"
echo
echo "4. the same job with a time limit on each step, 21 pairs of runs, median"
echo "   velmorjob --timeout=1h  ${t_med} s"
echo "   velmorjob               ${n_med} s"
echo "   ratio in each pair      ${tn_ratio}x median, middle half ${tn_q1}x to ${tn_q3}x (goal: at most 1.05x)"

mkdir "$work/output"
cat >"$work/output/indexer.c" <<'C'
#include <string.h>
#include <unistd.h>
int main(void) {
  static char block[65536];
  memset(block, 'x', sizeof block);
  for (int i = 0; i < 16384; ++i) {
    if (write(1, block, sizeof block) != (ssize_t)sizeof block) return 1;
  }
  return 0;
}
C
cc -O2 -o "$work/output/indexer" "$work/output/indexer.c"
printf '[Job flood]\n[Index]\n' >"$work/output/search.conf"
printf '[Job quiet]\n[Runner]\n' >>"$work/output/search.conf"
printf '#!/bin/sh\nexit 0\n' >"$work/output/runner"
chmod +x "$work/output/runner"
cd "$work/output"
# Both on one core: the producer and the consumer of a pipe take turns on
# it, rather than the ratio depending on where the scheduler put each.
read -r k_med c_med kc_ratio kc_q1 kc_q3 k_rss _ < <("$work/pairstat" 15 \
  taskset -c 0 "$velmorjob" --keep-output=64K flood -- \
  taskset -c 0 sh -c './indexer | cat >/dev/null')
read -r _ _ q_rss < <("$runstat" 5 "$velmorjob" --keep-output=64K quiet)
echo
echo "5. a step that writes 1 GB, on one core, 15 pairs of runs, median"
echo "   velmorjob --keep-output=64K   ${k_med} s"
echo "   step | cat >/dev/null         ${c_med} s"
echo "   ratio in each pair            ${kc_ratio}x median, middle half ${kc_q1}x to ${kc_q3}x (goal: at most 1.2x)"
echo "   peak resident memory          ${k_rss} kB, ${q_rss} kB for a step that writes nothing"

# The history: a run of the 300 steps with --history against the same run
# without it, in pairs; the history's growth for each step it records; and
# --runs and --status over a history of 100 jobs of 1,000 runs of 5 steps.
cd "$work/steps"
"$velmorjob" --history=bench.history steps >/dev/null  # makes the file
read -r h_med n_med h_ratio h_q1 h_q3 _ < <("$work/pairstat" 21 \
  "$velmorjob" --history=bench.history steps -- "$velmorjob" steps)
echo
echo "6. the job of 300 steps with --history, 21 pairs of runs, median"
echo "   velmorjob --history   ${h_med} s"
echo "   velmorjob             ${n_med} s"
echo "   ratio in each pair    ${h_ratio}x median, middle half ${h_q1}x to ${h_q3}x (goal: at most 1.10x)"
rm -f growth.history*
"$velmorjob" --history=growth.history steps >/dev/null
first=$(stat -c %s growth.history)
for _ in 1 2 3 4 5 6 7 8 9 10; do "$velmorjob" --history=growth.history steps >/dev/null; done
last=$(stat -c %s growth.history)
echo "   growth of the file    $(( (last - first) / 3000 )) bytes a step (10 runs of 300 steps: $first to $last bytes)"

# 100 jobs of 1,000 runs of 5 steps each, written by SQL into a file that a
# run made, so that it has the program's schema.
mkdir "$work/history"
cd "$work/history"
printf '[Job setup]\n[Runner]\n' >search.conf
printf '#!/bin/sh\nexit 0\n' >runner
chmod +x runner
"$velmorjob" --history=big.history setup >/dev/null
sqlite3 big.history <<'SQL'
DELETE FROM velmorjob_attempts;
DELETE FROM velmorjob_runs;
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 99999)
INSERT INTO velmorjob_runs (id, run_id, job, config_file, working_directory, host, pid, boot_id,
  process_start, from_step, steps, retries, retry_delay, start_time, end_time, exit_status,
  result, first_failed_step)
SELECT i + 1, printf('%08x-0000-4000-8000-%012x', i, i), printf('job%03d', i % 100),
  '/srv/search/search.conf', '/srv/search', 'idx1', 1000 + i, '', 0, 1, 5, 0, 30,
  1700000000000 + (i / 100) * 86400000 + (i % 100) * 1000,
  1700000000000 + (i / 100) * 86400000 + (i % 100) * 1000 + 600000,
  CASE WHEN i % 17 = 0 THEN 3 ELSE 0 END,
  CASE WHEN i % 17 = 0 THEN 'step-failed' ELSE 'ok' END,
  CASE WHEN i % 17 = 0 THEN 3 END
FROM n;
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 499999)
INSERT INTO velmorjob_attempts (run, number, attempt, kind, program, command, start_time,
  duration, exit_status, signal, timed_out)
SELECT i / 5 + 1, i % 5 + 1, 1, 'Index', './indexer',
  './indexer  --url=http://www.example.com/search/index.html --maxfiles=500 --charset=3',
  1700000000000 + i * 1000, 100 + (i % 7) * 3.5, CASE WHEN i % 85 = 2 THEN 1 ELSE 0 END, NULL, 0
FROM n;
SQL
h_megabytes=$(( $(stat -c %s big.history) / 1000000 ))
read -r r_min r_med r_rss < <("$runstat" 15 "$velmorjob" --history=big.history --runs job042)
read -r s_min s_med s_rss < <("$runstat" 15 "$velmorjob" --history=big.history --status)
read -r j_min j_med j_rss < <("$runstat" 15 "$velmorjob" --history=big.history --status --json)
echo
echo "7. a history of 100 jobs x 1000 runs x 5 steps ($h_megabytes MB), best of 15 (median)"
echo "   --runs job042         ${r_min} s (${r_med} s), ${r_rss} kB"
echo "   --status              ${s_min} s (${s_med} s), ${s_rss} kB"
echo "   --status --json       ${j_min} s (${j_med} s), ${j_rss} kB"
echo "   (goal: each within 0.100 s and 8 MB = 8192 kB)"
