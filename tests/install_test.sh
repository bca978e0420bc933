#!/usr/bin/env bash
# Installs the build tree under a scratch prefix and builds the Debian
# package, and checks that both hold exactly the expected files.
# Usage: install_test.sh BUILD-DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expected="bin/velmorjob
lib/systemd/system/velmorjob@.service
lib/systemd/system/velmorjob@.timer
share/bash-completion/completions/velmorjob
share/man/man1/velmorjob.1
share/man/man5/search.conf.5"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(cd "$work/prefix" && find . -type f | sed 's|^\./||' | sort)
if [[ $installed != "$expected" ]]; then
  printf 'FAILED: cmake --install put\n%s\nexpected\n%s\n' "$installed" "$expected"
  exit 1
fi
"$work/prefix/bin/velmorjob" --version | grep -q 'Velmoran ver.0.94'
echo "ok: install tree"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/*.deb)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's|^\./usr/||' | sort)
if [[ $packaged != "$expected" ]]; then
  printf 'FAILED: %s holds\n%s\n' "$deb" "$packaged"
  exit 1
fi
echo "ok: $(basename "$deb")"
