# Helpers of the shell tests, sourced by each: a check that counts
# failures instead of ending the test, and small predicates.
# shellcheck shell=bash

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
# Ends the test: exit 0 when every check passed.
finish_checks() {  # finish_checks TEST_NAME
  if [ "$failures" -eq 0 ]; then echo "$1: all checks passed"; else echo "$1: $failures checks failed"; fi
  [ "$failures" -eq 0 ]
}
count_files() {  # count_files PATH...: how many of them exist (an unmatched glob stays a pattern)
  local n=0 f
  for f in "$@"; do if [ -e "$f" ]; then n=$((n + 1)); fi; done
  echo "$n"
}
# The key of the n-th input of a batch: its index and its file name.
key_of() { printf '%06d_%s' "$1" "$(basename "$2")"; }

# The programs installed into a scratch folder of the test's own: sets tmp
# (removed at exit, with the tmpfs mounted at $mounted unmounted first) and
# installed (the programs' folder).
install_into_scratch() {  # install_into_scratch BUILD_DIR
  tmp=$(mktemp -d)
  mounted=""
  trap 'if [ -n "$mounted" ]; then umount "$mounted" 2> /dev/null || true; fi; rm -rf "$tmp"' EXIT
  cmake --install "$1" --prefix "$tmp/prefix" > /dev/null
  # shellcheck disable=SC2034  # for the sourcing test
  installed=$tmp/prefix/bin
}
# Fills the file system of FOLDER to the last byte.
fill_disk() { dd if=/dev/zero of="$1/filler" bs=4096 2> /dev/null || true; }
