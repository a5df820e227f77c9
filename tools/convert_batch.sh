#!/usr/bin/env bash
# Converts many data times concurrently with GNU parallel, one converter
# process per data time, all with the same run control file.
#
#   convert_batch.sh [-j JOBS] [--hosts FILE] [--logdir DIR] [--workroot DIR]
#                    [--converter PATH] CONTROL_FILE [INPUT ...]
#   convert_batch.sh [-j JOBS] [--hosts FILE] --resume BATCH_DIR
#
# Inputs are the arguments after the control file, or one path per line on
# standard input when there are none (blank lines are skipped). Each batch
# gets a folder of its own, BATCH = ./batch-<date>-<time>-<random>, which
# keeps a copy of the control file and the batch's settings. Each conversion
# runs in a working directory of its own under --workroot (default
# BATCH/work); the outputs land beside each input. The list, one log and
# one manifest (status file) per data time and GNU parallel's joblog go to
# --logdir (default BATCH/logs), which must not hold another batch.
# --resume BATCH_DIR converts again only the data times of that batch that
# are not verifiably done (its report and checksums), with its own control
# file and folders. --hosts FILE hands the jobs to GNU parallel's ssh login
# file: the machines must share the file system and see every path under
# the same name. The converter is --converter, else INPUT2MODELDATA, else
# the one beside this script, in the repository's build, or on PATH.
#
# Exit status: 0 when every data time of the list is done, 1 when any is
# not, 2 on a usage error or when GNU parallel is missing.
set -euo pipefail

here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
I2M_TOOLS=$here
# shellcheck source=locate_programs.sh
source "$here/locate_programs.sh"
# shellcheck source=batch_lib.sh
source "$here/batch_lib.sh"
jobs=$(nproc)
hosts="" logdir="" workroot="" converter=${INPUT2MODELDATA:-} resume=""

usage() {
  sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
fail() {  # fail MESSAGE: a usage or set-up problem, exit 2
  echo "convert_batch.sh: $1" >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    -j | --jobs) jobs=$(value "$@"); shift 2 ;;
    --hosts) hosts=$(value "$@"); shift 2 ;;
    --logdir) logdir=$(value "$@"); shift 2 ;;
    --workroot) workroot=$(value "$@"); shift 2 ;;
    --converter) converter=$(value "$@"); shift 2 ;;
    --resume) resume=$(value "$@"); shift 2 ;;
    -h | --help) usage ;;
    -*) echo "convert_batch.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[[ $jobs =~ ^[1-9][0-9]*$ ]] || fail "-j $jobs: not a number of jobs"
command -v parallel > /dev/null 2>&1 ||
  fail "GNU parallel is not installed; install it with: apt-get install parallel"

if [ -n "$resume" ]; then
  [ $# -eq 0 ] || fail "--resume takes its control file and inputs from the batch, not from the command line"
  batch=$(cd "$resume" 2> /dev/null && pwd) || fail "$resume: no such batch folder"
  [ -f "$batch/batch.settings" ] || fail "$resume: not a batch folder (no batch.settings)"
  logdir=$(status_value "$batch/batch.settings" logdir)
  workroot=$(status_value "$batch/batch.settings" workroot)
  [ -n "$converter" ] || converter=$(status_value "$batch/batch.settings" converter)
  control="$batch/InputModelInf.txt"
  problem=$(check_writable "$logdir") || fail "$problem"
else
  [ $# -ge 1 ] || usage
  control=$1
  shift
  [ -f "$control" ] || fail "$control: no such run control file"
  batch=$(mktemp -d "$PWD/batch-$(date +%Y%m%d-%H%M%S)-XXXXXX") || fail "$PWD: cannot create a batch folder here"
  cp "$control" "$batch/InputModelInf.txt"
  control="$batch/InputModelInf.txt"
  logdir=$(absolute "${logdir:-$batch/logs}")
  workroot=$(absolute "${workroot:-$batch/work}")
  if [ -e "$logdir/batch.id" ]; then
    fail "$logdir holds the logs of batch $(cat "$logdir/batch.id"): give another --logdir, or --resume that batch"
  fi
  mkdir -p "$logdir" "$workroot" || fail "$logdir: cannot create the log folder"
  problem=$(check_writable "$logdir") || fail "$problem"
  # The list, paths made absolute here: relative ones are taken from here,
  # wherever the job runs. A path is data: never read by a shell or sed.
  list="$logdir/inputs.txt"
  problem=$(read_list "$list" "$@") || fail "$problem"
  [ -s "$list" ] || fail "no input files given"
  new_batch_id > "$logdir/batch.id"
fi
converter=$(i2m_program Input2ModelData "$converter") ||
  fail "$converter: converter not found (build or install it, pass --converter, or set INPUT2MODELDATA)"
converter=$(cd "$(dirname "$converter")" && pwd)/$(basename "$converter")
printf 'logdir %s\nworkroot %s\nconverter %s\n' "$logdir" "$workroot" "$converter" > "$batch/batch.settings"

count=$(wc -l < "$logdir/inputs.txt")
todo="$logdir/todo.txt"
if [ -n "$resume" ]; then
  bash "$here/batch_report.sh" --pending "$logdir" > "$logdir/pending.txt"
  awk 'NR == FNR { pending[$1] = 1; next } pending[FNR] { print FNR "\t" $0 }' "$logdir/pending.txt" \
    "$logdir/inputs.txt" > "$todo"
  echo "resuming batch $(cat "$logdir/batch.id"): $(wc -l < "$todo") of $count data times to convert; logs in $logdir"
else
  list_inputs "$logdir" > "$todo"
  echo "converting $count data times with $jobs jobs; logs in $logdir"
fi
start=$(date +%s.%N)
remote=()
if [ -n "$hosts" ]; then remote=(--sshloginfile "$hosts"); fi
# -q: every argument, the paths included, reaches convert_one.sh as it is.
status=0
parallel --will-cite -q --jobs "$jobs" "${remote[@]}" --joblog "$logdir/joblog" --line-buffer --colsep '\t' \
  bash "$here/convert_one.sh" "$converter" "$control" "$workroot" "$logdir" "{1}" "$count" "{2}" < "$todo" || status=$?
# A data time that did not convert is the report's to tell (GNU parallel
# counts them in its exit status); its own failure (255) is the batch's.
if [ "$status" -eq 255 ]; then echo "convert_batch.sh: GNU parallel failed (exit 255)" >&2; fi
wall=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
bash "$here/batch_report.sh" "$logdir" "$wall"
