#!/usr/bin/env bash
# Installs the build tree under a scratch prefix and builds the Debian
# package; checks that both hold exactly the files listed below, that the
# program and the manual pages carry the build's version, that the service
# runs the binary under the prefix installed to, that the sysusers.d file
# makes the service's user and the package's postinst runs systemd-sysusers
# on it, and, with --lintian, that lintian reports no error and no warning
# on the package.
# Usage: install_test.sh BUILD-DIR VERSION BUILD-NUMBER [--lintian]
set -euo pipefail

# Every file that "cmake --install" and the package put under the prefix.
expected_files=(
  bin/velmorjob
  lib/systemd/system/velmorjob@.service
  lib/systemd/system/velmorjob@.timer
  lib/sysusers.d/velmorjob.conf
  share/bash-completion/completions/velmorjob
  share/doc/velmorjob/changelog.gz
  share/doc/velmorjob/copyright
  share/doc/velmorjob/examples/search.conf
  share/doc/velmorjob/examples/velmorjob-cronjob.yaml
  share/doc/velmorjob/examples/velmorjob-dashboard.json
  share/doc/velmorjob/examples/velmorjob-dashboard.yml
  share/doc/velmorjob/examples/velmorjob.rules.test.yml
  share/doc/velmorjob/examples/velmorjob.rules.yml
  share/doc/velmorjob/examples/velmorjob_limits.prom
  share/lintian/overrides/velmorjob
  share/man/man1/velmorjob.1.gz
  share/man/man5/search.conf.5.gz
)

build=$(cd "$1" && pwd)
version=$2
build_number=$3
lintian=${4:-}

# shellcheck source=tests/scratch.sh
source "$(dirname "$0")/scratch.sh"
# shellcheck source=tests/failures.sh
source "$(dirname "$0")/failures.sh"
work=$(new_scratch_folder "$build/test-tmp" install)
trap 'rm -rf "$work"' EXIT


expected=$(printf '%s\n' "${expected_files[@]}" | sort)

cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sed 's|^\./||' | sort)
if [[ $installed != "$expected" ]]; then
  fail "cmake --install put" "$installed" "expected" "$expected"
fi
banner="Velmoran ver.$version [build $build_number]"
if ! "$work/prefix/bin/velmorjob" --version | grep -xF "$banner" >/dev/null; then
  fail "velmorjob --version does not print \"$banner\""
fi
for page in man1/velmorjob.1.gz man5/search.conf.5.gz; do
  header=$(gzip -dc "$work/prefix/share/man/$page" | sed -n 1p)
  [[ $header == ".TH "*" \"velmorjob $version\" "* ]] || fail "$page header: $header"
done
# exec_start UNIT-FILE: the program that the service's ExecStart= runs.
exec_start() {
  local line
  line=$(grep '^ExecStart=' "$1")
  line=${line#ExecStart=}
  printf '%s\n' "${line%% --config=*}"
}
service=lib/systemd/system/velmorjob@.service
program=$(exec_start "$work/prefix/$service")
[[ $program == "$work/prefix/bin/velmorjob" ]] || fail "the service runs \"$program\""
# The example configuration file has no error.
(cd "$work/prefix" && bin/velmorjob --config=share/doc/velmorjob/examples/search.conf --check) \
  >/dev/null || fail "velmorjob --check finds errors in the example search.conf"
((failures)) || echo "ok: install tree"

# A path that systemd cannot run is refused, and named (CMake breaks the
# message into lines).
odd="$work/odd\"prefix"
if output=$(cmake --install "$build" --prefix "$odd" 2>&1 >/dev/null); then
  fail "cmake --install --prefix $odd was taken"
elif [[ $(tr -s ' \n' ' ' <<<"$output") != *"velmorjob@.service cannot run \"$odd/bin/velmorjob\": systemd takes no quote"* ]]; then
  fail "cmake --install --prefix $odd said" "$output"
fi
[[ -e $odd/$service ]] && fail "cmake --install --prefix $odd installed the service"

# The sysusers.d file makes a system user and group velmorjob whose home is
# the service's working directory and who cannot log in.
sysroot=$work/sysroot
mkdir -p "$sysroot/etc"
output=$(systemd-sysusers --root="$sysroot" "$work/prefix/lib/sysusers.d/velmorjob.conf" 2>&1) ||
  fail "systemd-sysusers failed" "$output"
IFS=: read -r name _ uid gid _ home shell < <(grep '^velmorjob:' "$sysroot/etc/passwd") || true
if [[ ${name:-} != velmorjob || $home != /var/lib/velmorjob || $shell != */nologin ]] ||
  ((uid >= 1000)) || ! grep -q "^velmorjob:x:$gid:" "$sysroot/etc/group"; then
  fail "systemd-sysusers made" "$(cat "$sysroot/etc/passwd" "$sysroot/etc/group")"
else
  echo "ok: systemd-sysusers makes the user velmorjob ($uid:$gid, $home, $shell)"
fi

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
debs=("$work"/package/*.deb)
deb=${debs[0]}
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort)
if [[ $packaged != "$expected" ]]; then
  fail "$deb holds" "$packaged" "expected" "$expected"
fi
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version $(dpkg-deb -f "$deb" Version)"
dpkg-deb -x "$deb" "$work/unpacked"
program=$(exec_start "$work/unpacked/usr/$service")
[[ $program == /usr/bin/velmorjob ]] || fail "the packaged service runs \"$program\""
# The postinst runs systemd-sysusers on the package's file when configuring
# (in DPKG_ROOT when set), and does nothing without it. Its PATH holds only
# a stand-in that records its arguments, or nothing.
dpkg-deb -e "$deb" "$work/control"
mkdir -p "$work/stand-in" "$work/nothing"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$work/sysusers.log" >"$work/stand-in/systemd-sysusers"
chmod +x "$work/stand-in/systemd-sysusers"
postinst_cases=(
  # PATH | DPKG_ROOT | arguments | what systemd-sysusers is given
  "stand-in||configure 0.93|velmorjob.conf"
  "stand-in||abort-upgrade 0.95|velmorjob.conf"
  "stand-in|/chroot|configure|--root=/chroot velmorjob.conf"
  "stand-in||triggered /usr/lib/sysusers.d|"
  "nothing||configure|"
)
for entry in "${postinst_cases[@]}"; do
  IFS='|' read -r path dpkg_root arguments expected <<<"$entry"
  rm -f "$work/sysusers.log"
  read -ra words <<<"$arguments"
  status=0
  env -i PATH="$work/$path" ${dpkg_root:+DPKG_ROOT="$dpkg_root"} "$work/control/postinst" \
    "${words[@]}" || status=$?
  given=$(cat "$work/sysusers.log" 2>/dev/null) || given=
  if ((status != 0)) || [[ $given != "$expected" ]]; then
    fail "postinst $arguments (PATH $path, DPKG_ROOT \"$dpkg_root\"): status $status," \
      "systemd-sysusers given \"$given\", expected \"$expected\""
  fi
done
# dpkg-shlibdeps gives the C and C++ libraries with the versions the binary
# needs; the SQLite library, which the history loads when it is used, is
# named by the package itself.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libc6 (>= "*"libstdc++6 (>= "* ]] || fail "Depends: $depends"
[[ $depends == *"libsqlite3-0 (>= 3.31)"* ]] || fail "Depends: $depends: no libsqlite3-0"
((failures)) || echo "ok: $(basename "$deb") ($depends)"

if [[ $lintian == --lintian ]]; then
  # I: and P: lines are advice; an E: or W: line fails the package.
  report=$(lintian --display-info --pedantic --show-overrides "$deb" 2>&1) || true
  sed '/^running with root privileges/d' <<<"$report"
  if grep -q '^[EW]:' <<<"$report"; then
    fail "lintian reports errors or warnings on $(basename "$deb")"
  else
    echo "ok: lintian reports no error and no warning"
  fi
fi

exit $((failures > 0))
