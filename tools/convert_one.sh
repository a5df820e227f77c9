#!/usr/bin/env bash
# Converts one data time in a working directory of its own, for the batch
# and Slurm scripts: copies the run control file there, writes the date file
# (the date taken from the input file name where it carries one), runs the
# converter with the input path made absolute, keeps its standard output and
# standard error in LOGDIR/<key>.log and its exit status in LOGDIR/<key>.status,
# and prints one progress line.
#
#   convert_one.sh CONVERTER CONTROL_FILE WORKROOT LOGDIR TASK_LABEL INPUT
#
# The status file holds one line: "<exit status> <seconds> <absolute input path>".
# Exit status: the converter's.
set -uo pipefail

if [ $# -ne 6 ]; then
  echo "usage: convert_one.sh CONVERTER CONTROL_FILE WORKROOT LOGDIR TASK_LABEL INPUT" >&2
  exit 2
fi
converter=$1 control=$2 workroot=$3 logdir=$4 label=$5 input=$6

case "$input" in
  /*) absolute=$input ;;
  *) absolute="$PWD/$input" ;;
esac
# One key per data time: the absolute path with its slashes made harmless,
# so inputs of the same name in different folders do not collide.
key=$(printf '%s' "${absolute#/}" | tr '/ ' '__')
work="$workroot/$key"
log="$logdir/$key.log"

mkdir -p "$work" "$logdir"
date_word=$(basename "$absolute" | grep -oE '[0-9]{10}|[0-9]{8}' | head -n 1 || true)
printf '%s\n' "${date_word:-nodate}" > "$work/adate.txt"

start=$(date +%s.%N)
status=0
# What this script cannot find fails the data time with a line of its own,
# in the log and so in the report (a missing converter: status 127).
if [ ! -x "$converter" ]; then
  echo "convert_one.sh: $converter: no converter there (install it, or set INPUT2MODELDATA)" > "$log"
  status=127
elif ! cp "$control" "$work/InputModelInf.txt" 2> /dev/null; then
  echo "convert_one.sh: $control: no run control file (did the import fail?)" > "$log"
  status=2
else
  (cd "$work" && printf '%s\nbatch\n' "$absolute" | "$converter") > "$log" 2>&1 || status=$?
fi
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
printf '%s %s %s\n' "$status" "$seconds" "$absolute" > "$logdir/$key.status"

case $status in
  0) outcome="converted" ;;
  3) outcome="stopped: $(tail -n 1 "$log" | sed 's/^ *//')" ;;
  *) outcome="failed ($status): $(grep -m 1 -E '^(Input2ModelData|convert_one.sh): ' "$log" || tail -n 1 "$log")" ;;
esac
echo "[$label] $absolute: $outcome (${seconds} s)"
exit "$status"
