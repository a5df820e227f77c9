#!/usr/bin/env bash
# Slurm job array: one array task converts one data time, the same way the
# batch script does (working directory, date file, logs, manifests).
#
# Submit from any folder, calling the script by its path or from PATH:
#   convert_slurm.sh submit [--throttle N] [--after JOBID] CONTROL_FILE INPUT_LIST LOGDIR [WORKROOT]
# which copies INPUT_LIST (blank lines skipped, paths made absolute) into
# LOGDIR/inputs.txt, hands sbatch one task per input (at most N at a time;
# after job JOBID has ended) and prints the array's job id. LOGDIR must not
# hold another batch. When every task has ended: batch_report.sh LOGDIR.
#   convert_slurm.sh submit --resume LOGDIR [--throttle N]
# submits again only the data times of that batch that are not verifiably
# done, and prints the new array's job id (nothing when all are done).
# Or submit it with sbatch yourself:
#   sbatch --array=1-$(wc -l < inputs.txt) /path/to/convert_slurm.sh CONTROL_FILE INPUT_LIST LOGDIR [WORKROOT]
# Each task writes its Slurm output to LOGDIR/slurm-<job>_<task>.out, its
# log and manifest beside it; working folders go to WORKROOT (default
# LOGDIR/../work).
#
# The converter is taken from INPUT2MODELDATA, else from beside this script
# (an installed prefix), else from the repository's build, else from PATH.
# A task that cannot find it fails its data time with a line saying so.
# Exit status of submit: 0 submitted, 2 a usage error or a refusal.
#SBATCH --job-name=Input2ModelData
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output=/dev/null
set -euo pipefail

usage() {
  sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
fail() {
  echo "convert_slurm.sh: $1" >&2
  exit 2
}

# Where this script comes from. Slurm runs a copy of it from its spool
# folder: inside a job the location travels with the job (I2M_TOOLS,
# exported at submission) or is read back from the job's original command.
script_folder() {
  if [ -n "${I2M_TOOLS:-}" ]; then
    echo "$I2M_TOOLS"
    return
  fi
  if [ -n "${SLURM_JOB_ID:-}" ] && command -v scontrol > /dev/null; then
    local command
    command=$(scontrol show job "$SLURM_JOB_ID" 2> /dev/null | grep -o 'Command=[^ ]*' | head -n 1 | cut -d= -f2- || true)
    if [ -n "$command" ]; then
      case $command in /*) ;; *) command="${SLURM_SUBMIT_DIR:-$PWD}/$command" ;; esac
      (cd "$(dirname "$command")" && pwd)
      return
    fi
  fi
  (cd "$(dirname "$(readlink -f "$0")")" && pwd)
}
I2M_TOOLS=$(script_folder)
export I2M_TOOLS
# shellcheck source=locate_programs.sh
source "$I2M_TOOLS/locate_programs.sh"
# shellcheck source=batch_lib.sh
source "$I2M_TOOLS/batch_lib.sh"


# "1-3,7,9-10" from indices in ascending order, one per line.
ranges() {
  awk 'NR == 1 { first = last = $1; next }
       $1 == last + 1 { last = $1; next }
       { printf "%s%s,", first, (last > first ? "-" last : ""); first = last = $1 }
       END { if (NR > 0) printf "%s%s\n", first, (last > first ? "-" last : "") }'
}

# The array for the indices of `array`, submitted with the batch's identity.
submit_array() {  # submit_array ARRAY THROTTLE AFTER CONTROL LOGDIR WORKROOT
  local array=$1 throttle=$2 after=$3 control=$4 logdir=$5 workroot=$6
  local options=(--parsable "--array=$array${throttle:+%$throttle}")
  if [ -n "$after" ]; then options+=("--dependency=afterany:$after"); fi
  # sbatch hands the environment on: the tasks find the scripts and know
  # their batch.
  I2M_BATCH=$(cat "$logdir/batch.id") sbatch "${options[@]}" "$I2M_TOOLS/convert_slurm.sh" "$control" \
    "$logdir/inputs.txt" "$logdir" "$workroot"
}

submit() {
  local throttle="" after="" resume=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --throttle) throttle=$(value "$@"); shift 2 ;;
      --after) after=$(value "$@"); shift 2 ;;
      --resume) resume=$(value "$@"); shift 2 ;;
      -*) echo "convert_slurm.sh: unknown option $1" >&2; usage ;;
      *) break ;;
    esac
  done
  if [ -n "$throttle" ] && ! [[ $throttle =~ ^[1-9][0-9]*$ ]]; then fail "--throttle $throttle: not a number"; fi
  local control list logdir workroot count pending
  if [ -n "$resume" ]; then
    [ $# -eq 0 ] || usage
    logdir=$(absolute "$resume")
    [ -f "$logdir/batch.settings" ] || fail "$logdir: no batch submitted here (no batch.settings)"
    control=$(status_value "$logdir/batch.settings" control)
    workroot=$(status_value "$logdir/batch.settings" workroot)
    pending=$(bash "$I2M_TOOLS/batch_report.sh" --pending "$logdir" | ranges)
    if [ -z "$pending" ]; then
      echo "convert_slurm.sh: every data time of $logdir is done" >&2
      return 0
    fi
    submit_array "$pending" "$throttle" "$after" "$control" "$logdir" "$workroot"
    return
  fi
  if [ $# -lt 3 ] || [ $# -gt 4 ]; then usage; fi
  control=$(absolute "$1") list=$(absolute "$2") logdir=$(absolute "$3") workroot=$(absolute "${4:-$3/../work}")
  [ -f "$list" ] || fail "$list: no input list"
  if [ -e "$logdir/batch.id" ]; then
    fail "$logdir holds the logs of batch $(cat "$logdir/batch.id"): give another LOGDIR, or submit --resume $logdir"
  fi
  mkdir -p "$logdir" || fail "$logdir: cannot create the log folder"
  local problem
  problem=$(check_writable "$logdir") || fail "$problem"
  problem=$(read_list "$logdir/inputs.txt" < "$list") || fail "$problem"
  count=$(wc -l < "$logdir/inputs.txt")
  [ "$count" -gt 0 ] || fail "$list: no input in the list"
  new_batch_id > "$logdir/batch.id"
  printf 'control %s\nworkroot %s\n' "$control" "$workroot" > "$logdir/batch.settings"
  submit_array "1-$count" "$throttle" "$after" "$control" "$logdir" "$workroot"
}

# A task of an array that sbatch was given directly: the first one to run
# sets the batch up, from its list.
join_batch() {  # join_batch LIST LOGDIR
  local list=$1 logdir=$2
  exec 9> "$logdir/.batch.lock"
  flock 9
  if [ ! -f "$logdir/batch.id" ]; then
    # A path the list cannot hold fails its own task, in convert_one.sh.
    read_list "$logdir/inputs.txt.part" < "$list" > /dev/null || true
    mv "$logdir/inputs.txt.part" "$logdir/inputs.txt"
    echo "slurm-job-${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-0}}" > "$logdir/batch.id"
  fi
  flock -u 9
  exec 9>&-
}

task() {
  if [ $# -lt 3 ] || [ $# -gt 4 ]; then usage; fi
  cd "${SLURM_SUBMIT_DIR:-$PWD}" || exit 2
  local control list logdir workroot
  control=$(absolute "$1") list=$(absolute "$2") logdir=$(absolute "$3") workroot=$(absolute "${4:-$3/../work}")
  mkdir -p "$logdir"
  exec >> "$logdir/slurm-${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-0}}_${SLURM_ARRAY_TASK_ID}.out" 2>&1
  if [ -n "${I2M_BATCH:-}" ]; then
    [ "$(cat "$logdir/batch.id" 2> /dev/null)" = "$I2M_BATCH" ] || fail "$logdir no longer holds batch $I2M_BATCH"
  else
    join_batch "$list" "$logdir"
    [ "$(cat "$logdir/batch.id")" = "slurm-job-${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-0}}" ] ||
      fail "$logdir holds another batch ($(cat "$logdir/batch.id")): give this array a LOGDIR of its own"
  fi
  local converter input count
  converter=$(i2m_program Input2ModelData "${INPUT2MODELDATA:-}" || true)  # a missing one fails in convert_one.sh
  count=$(wc -l < "$logdir/inputs.txt")
  input=$(sed -n "${SLURM_ARRAY_TASK_ID}p" "$logdir/inputs.txt")
  if [ -z "$input" ]; then
    echo "convert_slurm.sh: $logdir/inputs.txt has no line $SLURM_ARRAY_TASK_ID (blank lines of the list are skipped): nothing to do"
    exit 0
  fi
  exec bash "$I2M_TOOLS/convert_one.sh" "$converter" "$control" "$workroot" "$logdir" \
    "$SLURM_ARRAY_TASK_ID" "$count" "$input"
}

if [ "${1:-}" = submit ]; then
  shift
  submit "$@"
elif [ -n "${SLURM_ARRAY_TASK_ID:-}" ]; then
  task "$@"
else
  usage
fi
