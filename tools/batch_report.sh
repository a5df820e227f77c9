#!/usr/bin/env bash
# Summary of a batch of conversions from the status files and logs that
# convert_one.sh left in LOGDIR: how many data times converted, how many
# stopped on unrepairable data (with the stop line), how many failed (with
# the diagnostic), and the time spent; and, for a season submitted with
# season_slurm.sh, how its import ended.
#
#   batch_report.sh LOGDIR [WALL_SECONDS]
#
# Exit status: 0 when every data time converted, 1 otherwise, 2 when LOGDIR
# holds no status file.
set -uo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: batch_report.sh LOGDIR [WALL_SECONDS]" >&2
  exit 2
fi
logdir=$1 wall=${2:-}

shopt -s nullglob
statuses=("$logdir"/*.status)
if [ ${#statuses[@]} -eq 0 ]; then
  echo "batch_report.sh: $logdir: no status files (nothing was converted here)" >&2
  exit 2
fi

converted=0 stopped=0 failed=0 busy=0
stopped_lines=() failed_lines=()
for file in "${statuses[@]}"; do
  read -r status seconds input < "$file"
  log="${file%.status}.log"
  busy=$(awk -v a="$busy" -v b="$seconds" 'BEGIN { printf "%.2f", a + b }')
  case $status in
    0) converted=$((converted + 1)) ;;
    3) stopped=$((stopped + 1))
       stopped_lines+=("  $input: $(tail -n 1 "$log" | sed 's/^ *//')") ;;
    *) failed=$((failed + 1))
       failed_lines+=("  $input (exit $status): $(grep -m 1 -E '^(Input2ModelData|convert_one.sh): ' "$log" || tail -n 1 "$log")") ;;
  esac
done

total=${#statuses[@]}
echo "== summary of $total data times =="
# A season's import (season_slurm.sh) left its exit status and log here.
import_failed=0
if [ -f "$logdir/import.result" ]; then
  read -r import_status < "$logdir/import.result"
  if [ "$import_status" = 0 ]; then
    echo "import: done"
  else
    import_failed=1
    echo "import: failed (exit $import_status): $(grep -m 1 '^import_data_times: ' "$logdir/import.log" || tail -n 1 "$logdir/import.log")"
  fi
fi
echo "converted: $converted"
echo "stopped on unrepairable data: $stopped"
[ $stopped -gt 0 ] && printf '%s\n' "${stopped_lines[@]}"
echo "failed: $failed"
[ $failed -gt 0 ] && printf '%s\n' "${failed_lines[@]}"
echo "conversion time, all data times together: ${busy} s"
[ -n "$wall" ] && echo "total time: ${wall} s"
[ $converted -eq "$total" ] && [ $import_failed -eq 0 ]
