#!/usr/bin/env bash
# Installs the build tree into a scratch root as the package installs it
# (under /usr) and checks the units there under their real names, for a job
# instance: systemd-analyze verify must print nothing, and systemd-analyze
# security must rate the service's exposure at most 5.0, and the service's
# directories, user and stop settings must agree with each other. The root
# holds the host's own units too, for the targets ours refer to, and the
# installed manual page answers Documentation=. Then installs under a prefix
# with a space and "%i" in it, which the service must name so that systemd
# runs the binary there (and not one under the instance's name).
# Usage: systemd_units_test.sh BUILD-DIR
set -euo pipefail
build=$1
highest_exposure=5.0
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
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
cp -r "$host_units/." "$root/usr/lib/systemd/system/"

failures=0
# verify UNIT...: systemd-analyze verify in the root says nothing of them.
verify() {
  local status=0 output
  output=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" "$@" 2>&1) ||
    status=$?
  if [[ $status -ne 0 || -n $output ]]; then
    echo "FAILED: systemd-analyze verify $* (status $status)"
    printf '%s\n' "$output"
    failures=$((failures + 1))
  else
    echo "ok: $*"
  fi
}

for instance in nightly 'nightly\x2dfull'; do
  verify "velmorjob@$instance.service" "velmorjob@$instance.timer"
done

# The protections that every job keeps, whatever the others add up to.
protections=(
  User=/DynamicUser= NoNewPrivileges= PrivateTmp= ProtectSystem= ProtectHome=
  ProtectKernelTunables= ProtectKernelModules= ProtectKernelLogs= RestrictSUIDSGID=
  LockPersonality=
)
unit=velmorjob@nightly.service
report=$(systemd-analyze security --offline=yes --root="$root" "$unit" 2>&1) || true
for protection in "${protections[@]}"; do
  if ! grep -qE "^✓ $protection +" <<<"$report"; then
    echo "FAILED: systemd-analyze security does not find $protection in place"
    grep -E "^. $protection +" <<<"$report" || true
    failures=$((failures + 1))
  fi
done
score=$(sed -n "s/^.*Overall exposure level for $unit: \([0-9][0-9.]*\) .*$/\1/p" <<<"$report")
if [[ -z $score ]]; then
  echo "FAILED: systemd-analyze security --offline=yes $unit gave no exposure level"
  printf '%s\n' "$report"
  failures=$((failures + 1))
elif awk -v score="$score" -v highest="$highest_exposure" 'BEGIN { exit !(score > highest) }'; then
  echo "FAILED: systemd-analyze security rates $unit's exposure $score, above $highest_exposure"
  grep '✗' <<<"$report" || true
  failures=$((failures + 1))
else
  echo "ok: systemd-analyze security rates $unit's exposure $score (at most $highest_exposure)"
fi

# The settings of the service that must agree: its working directory and
# its configuration file's directory are those that systemd makes for it,
# its user is the one the sysusers.d file makes, "systemctl stop" signals
# velmorjob alone, and systemd's own SIGKILL comes later than the default
# --kill-after (30 s) of velmorjob's.
service=$root/usr/lib/systemd/system/velmorjob@.service
setting() { sed -n "s/^$1=//p" "$service"; }
config=$(sed -n 's/^Environment=VELMORJOB_CONFIG=//p' "$service")
sysusers_user=$(awk '$1 == "u" { print $2 }' "$root/usr/lib/sysusers.d/velmorjob.conf")
stop_seconds=$(setting TimeoutStopSec)
settings_failures=$failures
for check in \
  "$(setting WorkingDirectory)|%S/$(setting StateDirectory)|WorkingDirectory= is not StateDirectory='s" \
  "${config%/*}|%E/$(setting ConfigurationDirectory)|VELMORJOB_CONFIG= is not in ConfigurationDirectory=" \
  "$(setting User)|$sysusers_user|User= is not the sysusers.d file's user" \
  "$(setting KillMode)|mixed|KillMode= is not mixed"; do
  IFS='|' read -r value expected what <<<"$check"
  if [[ -z $value || $value != "$expected" ]]; then
    echo "FAILED: $what: \"$value\", expected \"$expected\""
    failures=$((failures + 1))
  fi
done
if ! [[ $stop_seconds =~ ^[0-9]+$ ]] || ((stop_seconds <= 30)); then
  echo "FAILED: TimeoutStopSec=$stop_seconds is not longer than --kill-after's 30 s"
  failures=$((failures + 1))
fi
((failures > settings_failures)) || echo "ok: the service's directories, user and stop settings agree"

# The units installed under another prefix, in place of those under /usr
# and where systemd looks for them; no binary is left under /usr.
prefix='/opt/velmorjob %i'
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >/dev/null
rm "$root/usr/bin/velmorjob" "$root/usr/lib/systemd/system/velmorjob@".*
mkdir -p "$root/etc/systemd/system"
cp "$root$prefix/lib/systemd/system/velmorjob@".* "$root/etc/systemd/system/"
verify "velmorjob@nightly.service"
exit $((failures > 0))
