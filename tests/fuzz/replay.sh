#!/usr/bin/env bash
# Runs a fuzz target once over every file of the given directories (seed
# corpus, kept regressions) without fuzzing; fails on the first finding.
#
#   replay.sh TARGET DIR...
set -euo pipefail
target=$1; shift
files=()
for dir in "$@"; do
  [ -d "$dir" ] || continue
  while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$dir" -type f -print0 | sort -z)
done
[ ${#files[@]} -gt 0 ] || { echo "no inputs to replay in: $*" >&2; exit 1; }
echo "replaying ${#files[@]} inputs"
# Given files, libFuzzer runs each once and stops.
exec "$target" "${files[@]}"
