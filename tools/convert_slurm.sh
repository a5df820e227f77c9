#!/usr/bin/env bash
# Slurm job array: one array task converts one data time, the same way the
# batch script does (working directory, date file, logs, status files).
#
# Submit with one task per line of the input list:
#   sbatch --array=1-$(wc -l < inputs.txt) tools/convert_slurm.sh \
#          InputModelInf.txt inputs.txt LOGDIR [WORKROOT]
# then, when every task has ended, collect the summary:
#   bash tools/batch_report.sh LOGDIR
#
#SBATCH --job-name=Input2ModelData
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output=slurm-%A_%a.out
set -uo pipefail

if [ $# -lt 3 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
  echo "usage: sbatch --array=1-N convert_slurm.sh CONTROL_FILE INPUT_LIST LOGDIR [WORKROOT]" >&2
  exit 2
fi
control=$1 list=$2 logdir=$3 workroot=${4:-$3/../work}
# Slurm runs a copy of the script; the submit directory holds the real one.
here=${SLURM_SUBMIT_DIR:-$PWD}/tools
[ -f "$here/convert_one.sh" ] || here=$(cd "$(dirname "$0")" && pwd)
converter=${INPUT2MODELDATA:-$(command -v Input2ModelData || echo "$here/../build/release/bin/Input2ModelData")}

input=$(sed -n "${SLURM_ARRAY_TASK_ID}p" "$list")
if [ -z "$input" ]; then
  echo "convert_slurm.sh: $list has no line $SLURM_ARRAY_TASK_ID" >&2
  exit 2
fi
count=$(grep -c . "$list")
cd "${SLURM_SUBMIT_DIR:-$PWD}"
exec bash "$here/convert_one.sh" "$converter" "$control" "$workroot" "$logdir" \
  "${SLURM_ARRAY_TASK_ID}/$count" "$input"
