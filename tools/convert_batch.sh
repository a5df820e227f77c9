#!/usr/bin/env bash
# Converts many data times concurrently with GNU parallel, one converter
# process per data time, all with the same run control file.
#
#   convert_batch.sh [-j JOBS] [--hosts FILE] [--logdir DIR] [--workroot DIR]
#                    [--converter PATH] CONTROL_FILE [INPUT ...]
#
# Inputs are the arguments after the control file, or one path per line on
# standard input when there are none. Each conversion runs in a working
# directory of its own (under --workroot, default BATCH/work) holding the
# control file and a date file; the outputs land beside each input. One log
# per data time, the status files and GNU parallel's joblog go to --logdir
# (default BATCH/logs), where BATCH is ./batch-<date>-<time>.
# --hosts FILE hands the jobs to GNU parallel's ssh login file: the machines
# must share the file system and see every path under the same name.
#
# Exit status: 0 when every data time converted, 1 when any stopped or
# failed, 2 on a usage error or when GNU parallel is missing.
set -uo pipefail

here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
I2M_TOOLS=$here
# shellcheck source=locate_programs.sh
source "$here/locate_programs.sh"
jobs=$(nproc)
hosts="" logdir="" workroot="" converter=""

usage() {
  sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    -j|--jobs) jobs=$2; shift 2 ;;
    --hosts) hosts=$2; shift 2 ;;
    --logdir) logdir=$2; shift 2 ;;
    --workroot) workroot=$2; shift 2 ;;
    --converter) converter=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "convert_batch.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || usage
control=$1
shift
[ -f "$control" ] || { echo "convert_batch.sh: $control: no such run control file" >&2; exit 2; }
control=$(cd "$(dirname "$control")" && pwd)/$(basename "$control")

if ! command -v parallel > /dev/null 2>&1; then
  echo "convert_batch.sh: GNU parallel is not installed; install it with: apt-get install parallel" >&2
  exit 2
fi
converter=$(i2m_program Input2ModelData "$converter") ||
  { echo "convert_batch.sh: $converter: converter not found (build or install it, or pass --converter)" >&2; exit 2; }
converter=$(cd "$(dirname "$converter")" && pwd)/$(basename "$converter")

batch="$PWD/batch-$(date +%Y%m%d-%H%M%S)"
logdir=${logdir:-$batch/logs}
workroot=${workroot:-$batch/work}
mkdir -p "$logdir" "$workroot"
logdir=$(cd "$logdir" && pwd)
workroot=$(cd "$workroot" && pwd)

list="$logdir/inputs.txt"
if [ $# -gt 0 ]; then printf '%s\n' "$@" > "$list"; else grep -v '^[[:space:]]*$' > "$list"; fi
count=$(wc -l < "$list")
[ "$count" -gt 0 ] || { echo "convert_batch.sh: no input files given" >&2; exit 2; }
# Relative input paths are taken from here, wherever the job runs.
sed -i "s|^\([^/]\)|$PWD/\1|" "$list"

echo "converting $count data times with $jobs jobs; logs in $logdir"
start=$(date +%s.%N)
remote=()
[ -n "$hosts" ] && remote=(--sshloginfile "$hosts")
parallel --will-cite --jobs "$jobs" "${remote[@]}" --joblog "$logdir/joblog" --line-buffer \
  bash "$here/convert_one.sh" "$converter" "$control" "$workroot" "$logdir" "{#}/$count" {} \
  < "$list"
wall=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
bash "$here/batch_report.sh" "$logdir" "$wall"
