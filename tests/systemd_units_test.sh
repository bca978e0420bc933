#!/usr/bin/env bash
# Installs the build tree into a scratch root as the package installs it
# (under /usr) and runs systemd-analyze verify on the units under their real
# names, for a job instance; it must print nothing. The root holds the host's
# own units too, for the targets ours refer to, and the installed manual
# page answers Documentation=.
# Usage: systemd_units_test.sh BUILD-DIR
set -euo pipefail
build=$1
# shellcheck source=tests/scratch.sh
source "$(dirname "$0")/scratch.sh"
work=$(new_scratch_folder "$build/test-tmp" systemd)
trap 'rm -rf "$work"' EXIT
root=$work/root
host_units=/usr/lib/systemd/system

if [[ ! -e $host_units/timers.target ]]; then
  echo "FAILED: no systemd units in $host_units (is the systemd package installed?)"
  exit 1
fi
cmake --install "$build" --prefix "$root/usr" >/dev/null
cp -r "$host_units/." "$root/usr/lib/systemd/system/"

failures=0
for instance in nightly 'nightly\x2dfull'; do
  units=("velmorjob@$instance.service" "velmorjob@$instance.timer")
  status=0
  output=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" "${units[@]}" 2>&1) ||
    status=$?
  if [[ $status -ne 0 || -n $output ]]; then
    echo "FAILED: systemd-analyze verify ${units[*]} (status $status)"
    printf '%s\n' "$output"
    failures=$((failures + 1))
  else
    echo "ok: ${units[*]}"
  fi
done
exit $((failures > 0))
