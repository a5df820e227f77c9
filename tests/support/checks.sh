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
