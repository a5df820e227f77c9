#!/usr/bin/env bash
# A season on Slurm in one submission: the import of the source files, the
# conversion of every data time it yields as a job array, and the report,
# chained by job dependencies so that nothing waits on the login node.
#
#   season_slurm.sh [--throttle N] [--convert] [--levels P,P,...] [--area N/W/S/E] [--grid DLON[/DLAT]] [--model NAME] RUN_DIR FILE...
#
# FILE... are GRIB or NetCDF files as import_data_times reads them;
# --levels, --area, --grid and --model are its options. The sources are listed on
# the spot (import_data_times --list-files), so that bad input is refused before
# anything is submitted and the array gets one task per data time. Then:
#   1. the import writes RUN_DIR/data (log: RUN_DIR/logs/import.log);
#   2. the conversions (convert_slurm.sh, at most N at a time) write the
#      work files beside the imported files, logs and status files to
#      RUN_DIR/logs, working folders to RUN_DIR/work; a data time the
#      import did not deliver fails with a line saying so;
#   3. the report (batch_report.sh) goes to RUN_DIR/report.txt; its job
#      ends with exit status 0 only when every data time converted.
# Prints the three job ids. With --convert the import writes the work files
# itself (import_data_times --convert: no record files, its logs and
# manifests in RUN_DIR/data/logs, with the import's own log) and the report
# follows it: two jobs.
set -euo pipefail

here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
I2M_TOOLS=$here
export I2M_TOOLS
# shellcheck source=locate_programs.sh
source "$here/locate_programs.sh"
# shellcheck source=batch_lib.sh
source "$here/batch_lib.sh"

usage() {
  sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
fail() {
  echo "season_slurm.sh: $1" >&2
  exit 2
}

throttle="" import_options=() convert=0
while [ $# -gt 0 ]; do
  case "$1" in
    --throttle) throttle=$(value "$@"); shift 2 ;;
    --convert) convert=1; shift ;;
    --levels | --area | --grid | --model) import_options+=("$1" "$(value "$@")"); shift 2 ;;
    -h | --help) usage ;;
    -*) echo "season_slurm.sh: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || usage
run=$(absolute "$1")
shift
files=()
for f in "$@"; do files+=("$(absolute "$f")"); done

importer=$(i2m_program import_data_times "${I2M_IMPORTER:-}") ||
  fail "$importer: importer not found (install it, or set I2M_IMPORTER)"
if [ -e "$run/logs/batch.id" ]; then fail "$run holds a season already: give each season a RUN_DIR of its own"; fi
mkdir -p "$run/logs" "$run/jobs" || exit 2

# The data time files the import will write, one name per line of its
# listing for scripts.
names=$("$importer" --list-files "${import_options[@]}" "${files[@]}") || exit 2
: > "$run/inputs.txt"
while IFS= read -r name; do
  [ -n "$name" ] && printf '%s\n' "$run/data/$name" >> "$run/inputs.txt"
done <<< "$names"
count=$(wc -l < "$run/inputs.txt")
[ "$count" -gt 0 ] || fail "the files hold no data time to import"

# The job scripts, written out so that what runs can be read afterwards.
quoted() { printf '%q ' "$@"; }

# write_jobs LOGS [OPTION...]: the import job (the importer with OPTION...,
# its log and exit status in LOGS) and the report job over LOGS.
write_jobs() {
  local logs=$1
  shift
  cat > "$run/jobs/import.sh" <<JOB
#!/usr/bin/env bash
#SBATCH --job-name=i2m-import
set -euo pipefail
mkdir -p $(quoted "$logs")
status=0
$(quoted "$importer" "$@" --out "$run/data" "${import_options[@]}" "${files[@]}") > $(quoted "$logs/import.log") 2>&1 || status=\$?
echo "\$status" > $(quoted "$logs/import.result")
exit "\$status"
JOB
  cat > "$run/jobs/report.sh" <<JOB
#!/usr/bin/env bash
#SBATCH --job-name=i2m-report
set -euo pipefail
bash $(quoted "$here/batch_report.sh" "$logs") > $(quoted "$run/report.txt") 2>&1
JOB
}

if [ "$convert" = 1 ]; then
  write_jobs "$run/data/logs" --convert
  import_job=$(sbatch --parsable --output="$run/logs/import.out" "$run/jobs/import.sh") || exit 2
  report_job=$(sbatch --parsable --output="$run/logs/report.out" --dependency="afterany:$import_job" \
    "$run/jobs/report.sh") || exit 2
  echo "import and conversions: job $import_job ($count data times); report: job $report_job"
  echo "the report will be in $run/report.txt"
  exit 0
fi
write_jobs "$run/logs"

# Paths reach sbatch as arguments, never through the lines of a job script
# that it would read itself.
import_job=$(sbatch --parsable --output="$run/logs/import.out" "$run/jobs/import.sh") || exit 2
array_job=$(bash "$here/convert_slurm.sh" submit ${throttle:+--throttle "$throttle"} --after "$import_job" \
  "$run/data/InputModelInf.txt" "$run/inputs.txt" "$run/logs" "$run/work") || exit 2
report_job=$(sbatch --parsable --output="$run/logs/report.out" --dependency="afterany:$array_job" \
  "$run/jobs/report.sh") || exit 2
echo "import: job $import_job; conversions: job $array_job ($count data times); report: job $report_job"
echo "the report will be in $run/report.txt"
