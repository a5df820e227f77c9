#!/usr/bin/env bash
# Summary of a batch of conversions, checked against the batch's list of
# inputs (LOGDIR/inputs.txt), not against the status files it happens to
# find: how many data times are done, how many stopped on unrepairable data
# (with the stop line), how many failed (with the diagnostic), how many are
# not done (no status of this batch, or outputs that are not what the
# manifest says), the time spent; and, for a season submitted with
# season_slurm.sh, how its import ended.
#
#   batch_report.sh [--verify] LOGDIR [WALL_SECONDS]
#   batch_report.sh --pending LOGDIR
#
# --verify recomputes the SHA-256 of every input and output and names any
# file that changed since its conversion. --pending prints the indices of
# the data times that are not verifiably done (checksums included), one per
# line, for a resumed batch.
#
# Exit status: 0 when every data time of the list is done, 1 otherwise, 2 on
# a usage error or when LOGDIR holds no batch.
set -euo pipefail

here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
# shellcheck source=batch_lib.sh
source "$here/batch_lib.sh"

usage() {
  sed -n '10,11p' "$0" | sed 's/^# \{0,1\}/usage: /' >&2
  exit 2
}

verify=0 pending=0
while [ $# -gt 0 ]; do
  case $1 in
    --verify) verify=1; shift ;;
    --pending) pending=1 verify=1; shift ;;
    -h | --help) usage ;;
    -*) echo "batch_report.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
if [ $# -lt 1 ] || [ $# -gt 2 ]; then usage; fi
logdir=$1 wall=${2:-}

if [ ! -f "$logdir/inputs.txt" ] || [ ! -f "$logdir/batch.id" ]; then
  echo "batch_report.sh: $logdir: no batch here (no inputs.txt and batch.id)" >&2
  exit 2
fi

if [ "$pending" = 1 ]; then
  while IFS=$'\t' read -r index input; do
    check_data_time "$logdir" "$index" "$input" 1
    # A work file the inspector found not ready is converted: converting it
    # again would give the same.
    if [ "$outcome" != converted ] && [ "$outcome" != not_ready ]; then echo "$index"; fi
  done < <(list_inputs "$logdir")
  exit 0
fi

converted=0 not_ready=0 stopped=0 failed=0 not_done=0 busy=0 total=0
not_ready_lines=() stopped_lines=() failed_lines=() not_done_lines=()
while IFS=$'\t' read -r index input; do
  total=$((total + 1))
  check_data_time "$logdir" "$index" "$input" "$verify"
  status_file="$logdir/$(batch_key "$index" "$input").status"
  if [ "$outcome" != not_done ]; then
    seconds=$(status_value "$status_file" seconds || echo 0)
    busy=$(awk -v a="$busy" -v b="$seconds" 'BEGIN { printf "%.2f", a + b }')
  fi
  case $outcome in
    converted) converted=$((converted + 1)) ;;
    not_ready) not_ready=$((not_ready + 1)); not_ready_lines+=("  $input: $reason") ;;
    stopped) stopped=$((stopped + 1)); stopped_lines+=("  $input: $reason") ;;
    failed) failed=$((failed + 1)); failed_lines+=("  $input $reason") ;;
    *) not_done=$((not_done + 1)); not_done_lines+=("  $input: $reason") ;;
  esac
done < <(list_inputs "$logdir")

echo "== summary of $total data times =="
# A season's import (season_slurm.sh) left its exit status and log here.
import_failed=0
if [ -f "$logdir/import.result" ]; then
  read -r import_status < "$logdir/import.result"
  if [ "$import_status" = 0 ]; then
    echo "import: done"
  elif [ "$import_status" = 3 ]; then
    echo "import: done; the converter stopped on the data of some data times (--convert)"
  else
    import_failed=1
    echo "import: failed (exit $import_status): $(grep -m 1 '^import_data_times: ' "$logdir/import.log" || tail -n 1 "$logdir/import.log")"
  fi
fi
echo "converted: $converted"
echo "converted, NOT READY: $not_ready"
if [ "$not_ready" -gt 0 ]; then printf '%s\n' "${not_ready_lines[@]}"; fi
echo "stopped on unrepairable data: $stopped"
if [ "$stopped" -gt 0 ]; then printf '%s\n' "${stopped_lines[@]}"; fi
echo "failed: $failed"
if [ "$failed" -gt 0 ]; then printf '%s\n' "${failed_lines[@]}"; fi
echo "not done: $not_done"
if [ "$not_done" -gt 0 ]; then printf '%s\n' "${not_done_lines[@]}"; fi
echo "conversion time, all data times together: ${busy} s"
if [ -n "$wall" ]; then echo "total time: ${wall} s"; fi
[ "$converted" -eq "$total" ] && [ "$import_failed" -eq 0 ]
