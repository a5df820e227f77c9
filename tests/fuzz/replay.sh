#!/usr/bin/env bash
# Runs a fuzz target once over every file of the given directories (seed
# corpus, kept regressions) without fuzzing; fails on the first finding.
# Arguments that start with "-" are libFuzzer options.
#
#   replay.sh TARGET [-OPTION...] DIR...
set -euo pipefail
target=$1; shift
options=() dirs=()
for a in "$@"; do
  case $a in -*) options+=("$a") ;; *) dirs+=("$a") ;; esac
done
files=()
for dir in "${dirs[@]}"; do
  [ -d "$dir" ] || continue
  while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$dir" -type f -print0 | sort -z)
done
[ ${#files[@]} -gt 0 ] || { echo "no inputs to replay in: ${dirs[*]}" >&2; exit 1; }
echo "replaying ${#files[@]} inputs"
# Given files, libFuzzer runs each once and stops.
exec "$target" "${options[@]}" "${files[@]}"
