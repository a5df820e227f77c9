#!/usr/bin/env bash
# Runs the converter under valgrind's memcheck on one full conversion (a
# data time whose relative humidity and soil fields need repair, with point
# markers), on a data stop and on a truncated input: no memory error, no
# leak definitely lost, and the same exit status, log and outputs as the
# plain run.
#
#   valgrind_test.sh CONVERTER MAKE_DATA_TIME
# Exit 77 (skipped) when valgrind is not installed.
set -euo pipefail

converter=$1 make_data_time=$2
command -v valgrind > /dev/null 2>&1 || { echo "valgrind not installed: skipped"; exit 77; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# run_pair NAME EXPECTED_STATUS MAKE_DATA_TIME_OPTIONS... : one plain run and
# one under valgrind, each in a directory of its own.
run_pair() {
  local name=$1 expected=$2; shift 2
  for mode in plain valgrind; do
    local dir=$tmp/$name/$mode
    mkdir -p "$dir"
    "$make_data_time" --dir "$dir" --im 36 --jm 19 --lm 17 "$@" > /dev/null || return 1
    [ "$name" = truncated ] && truncate -s 20000 "$dir/in.bin"
    local runner=()
    if [ "$mode" = valgrind ]; then
      runner=(valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite
              --log-file="$tmp/$name.memcheck")
    fi
    local code=0
    (cd "$dir" && printf 'in.bin\nx\n' | "${runner[@]}" "$converter" > log 2> err) || code=$?
    echo "$code" > "$dir/status"
  done
  local plain=$tmp/$name/plain checked=$tmp/$name/valgrind
  local status
  status=$(cat "$checked/status")
  if [ "$status" = 99 ]; then
    echo "FAIL $name: memcheck found errors:"; cat "$tmp/$name.memcheck"; return 1
  fi
  if [ "$status" != "$expected" ] || [ "$(cat "$plain/status")" != "$expected" ]; then
    echo "FAIL $name: exit status $status under valgrind, $(cat "$plain/status") plain, expected $expected"
    return 1
  fi
  if ! diff -r "$plain" "$checked" > "$tmp/$name.diff"; then
    echo "FAIL $name: the run under valgrind differs from the plain run:"; head -20 "$tmp/$name.diff"; return 1
  fi
  echo "ok $name: exit status $status, outputs identical, memcheck clean"
}

run_pair full 0 --missing rh:1 --missing rh:2 --missing slp:9 --marker slp:5:3:4 --marker tp:4:7:7 || failures=$((failures + 1))
run_pair data_stop 3 --missing tp:5 || failures=$((failures + 1))
run_pair truncated 2 || failures=$((failures + 1))
[ "$failures" -eq 0 ]
