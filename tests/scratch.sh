# shellcheck shell=bash
# Sourced by the shell tests: where they keep their scratch files.

# new_scratch_folder ROOT NAME: makes a fresh folder ROOT/NAME.XXXXXX and
# prints its path. The folders of an earlier run that was killed (at its
# time limit, say) before its trap could remove them are removed first: a
# test runs once at a time in one build tree.
new_scratch_folder() {
  local root=$1 name=$2
  rm -rf "${root:?}/$name".*
  mkdir -p "$root"
  mktemp -d "$root/$name.XXXXXX"
}
