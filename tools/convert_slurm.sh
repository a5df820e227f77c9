#!/usr/bin/env bash
# Slurm job array: one array task converts one data time, the same way the
# batch script does (working directory, date file, logs, status files).
#
# Submit from any folder, calling the script by its path or from PATH:
#   convert_slurm.sh submit [--throttle N] [--after JOBID] CONTROL_FILE INPUT_LIST LOGDIR [WORKROOT]
# which hands sbatch one task per line of INPUT_LIST (at most N at a time;
# after job JOBID has ended) and prints the array's job id. Or submit it
# with sbatch yourself:
#   sbatch --array=1-$(wc -l < inputs.txt) /path/to/convert_slurm.sh CONTROL_FILE INPUT_LIST LOGDIR [WORKROOT]
# Each task writes its Slurm output to LOGDIR/slurm-<job>_<task>.out, its
# log and status file beside it; working folders go to WORKROOT (default
# LOGDIR/../work). When every task has ended: batch_report.sh LOGDIR
#
# The converter is taken from INPUT2MODELDATA, else from beside this script
# (an installed prefix), else from the repository's build, else from PATH.
# A task that cannot find it fails its data time with a line saying so.
#SBATCH --job-name=Input2ModelData
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output=/dev/null
set -uo pipefail

usage() {
  sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2
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
    command=$(scontrol show job "$SLURM_JOB_ID" 2> /dev/null | grep -o 'Command=[^ ]*' | head -n 1 | cut -d= -f2-)
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

absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

submit() {
  local throttle="" after=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --throttle) throttle=$2; shift 2 ;;
      --after) after=$2; shift 2 ;;
      -*) echo "convert_slurm.sh: unknown option $1" >&2; usage ;;
      *) break ;;
    esac
  done
  [ $# -ge 3 ] || usage
  local control list logdir workroot count
  control=$(absolute "$1") list=$(absolute "$2") logdir=$(absolute "$3") workroot=$(absolute "${4:-$3/../work}")
  [ -f "$list" ] || { echo "convert_slurm.sh: $list: no input list" >&2; exit 2; }
  count=$(grep -c . "$list")
  [ "$count" -gt 0 ] || { echo "convert_slurm.sh: $list: no input in the list" >&2; exit 2; }
  mkdir -p "$logdir"
  local options=(--parsable "--array=1-$count${throttle:+%$throttle}" "--export=ALL,I2M_TOOLS=$I2M_TOOLS")
  [ -n "$after" ] && options+=("--dependency=afterany:$after")
  sbatch "${options[@]}" "$I2M_TOOLS/convert_slurm.sh" "$control" "$list" "$logdir" "$workroot"
}

task() {
  [ $# -ge 3 ] || usage
  cd "${SLURM_SUBMIT_DIR:-$PWD}" || exit 2
  local control=$1 list=$2 logdir=$3 workroot=${4:-$3/../work}
  mkdir -p "$logdir"
  exec >> "$logdir/slurm-${SLURM_ARRAY_JOB_ID:-${SLURM_JOB_ID:-0}}_${SLURM_ARRAY_TASK_ID}.out" 2>&1
  local converter input count
  converter=$(i2m_program Input2ModelData "${INPUT2MODELDATA:-}")  # a missing one fails in convert_one.sh
  input=$(sed -n "${SLURM_ARRAY_TASK_ID}p" "$list")
  if [ -z "$input" ]; then
    echo "convert_slurm.sh: $list has no line $SLURM_ARRAY_TASK_ID"
    exit 2
  fi
  count=$(grep -c . "$list")
  exec bash "$I2M_TOOLS/convert_one.sh" "$converter" "$control" "$workroot" "$logdir" \
    "${SLURM_ARRAY_TASK_ID}/$count" "$input"
}

if [ "${1:-}" = submit ]; then
  shift
  submit "$@"
elif [ -n "${SLURM_ARRAY_TASK_ID:-}" ]; then
  task "$@"
else
  usage
fi
