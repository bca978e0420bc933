#!/usr/bin/env bash
# Installs the build tree under a scratch prefix and builds the Debian
# package; checks that both hold exactly the files listed below, that the
# program and the manual pages carry the build's version, and, with
# --lintian, that lintian reports no error and no warning on the package.
# Usage: install_test.sh BUILD-DIR VERSION BUILD-NUMBER [--lintian]
set -euo pipefail

# Every file that "cmake --install" and the package put under the prefix.
expected_files=(
  bin/velmorjob
  lib/systemd/system/velmorjob@.service
  lib/systemd/system/velmorjob@.timer
  share/bash-completion/completions/velmorjob
  share/doc/velmorjob/changelog.gz
  share/doc/velmorjob/copyright
  share/doc/velmorjob/examples/velmorjob-cronjob.yaml
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
work=$(new_scratch_folder "$build/test-tmp" install)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  printf 'FAILED: %s\n' "$@"
  failures=$((failures + 1))
}

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
  header=$(gzip -dc "$work/prefix/share/man/$page" | head -n 1)
  [[ $header == ".TH "*" \"velmorjob $version\" "* ]] || fail "$page header: $header"
done
((failures)) || echo "ok: install tree"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
debs=("$work"/package/*.deb)
deb=${debs[0]}
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort)
if [[ $packaged != "$expected" ]]; then
  fail "$deb holds" "$packaged" "expected" "$expected"
fi
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version $(dpkg-deb -f "$deb" Version)"
# dpkg-shlibdeps gives the C and C++ libraries with the versions the binary needs.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libc6 (>= "*"libstdc++6 (>= "* ]] || fail "Depends: $depends"
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
