#!/usr/bin/env bash
# End-to-end test of the batch script and the Slurm array script: a batch of
# generated data times (some with unrepairable gaps, one missing) is
# converted, and every output and log is compared with a single run of the
# converter on the same input.
#
#   batch_test.sh CONVERTER MAKE_DATA_TIME IMPORTER BUILD_DIR
# The scripts run from a prefix that BUILD_DIR is installed into, and find
# the programs there. Exit 77 (skipped) when GNU parallel is not installed.
set -euo pipefail

converter=$1 make_data_time=$2 importer=$3 build=$4
repo=$(cd "$(dirname "$0")/.." && pwd)
command -v parallel > /dev/null 2>&1 || { echo "GNU parallel not installed: skipped"; exit 77; }

# shellcheck source=SCRIPTDIR/support/checks.sh
source "$repo/tests/support/checks.sh"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" > /dev/null || { echo "FAIL: cmake --install"; exit 1; }
tools=$tmp/prefix/bin
data="$tmp/data"
mkdir -p "$data" "$tmp/gen"

# 21 data times, 6 x 4 x 3: 18 clean ones, two that stop on their data, one
# name with no file behind it.
inputs=()
for n in $(seq 1 18); do
  name=$(printf 'era5_202401%02d%02d.bin' $(( (n - 1) / 4 + 1 )) $(( (n - 1) % 4 * 6 )))
  "$make_data_time" --im 6 --jm 4 --lm 3 --seed "$n" --dir "$tmp/gen" --name "$name" --missing rh:1
  mv "$tmp/gen/$name" "$data/"
  inputs+=("$data/$name")
done
"$make_data_time" --im 6 --jm 4 --lm 3 --seed 50 --dir "$tmp/gen" --name gap_height.bin --missing ht:2
"$make_data_time" --im 6 --jm 4 --lm 3 --seed 51 --dir "$tmp/gen" --name gap_rh.bin --missing rh:2
mv "$tmp/gen/gap_height.bin" "$tmp/gen/gap_rh.bin" "$data/"
inputs+=("$data/gap_height.bin" "$data/gap_rh.bin" "$data/absent.bin")
control="$tmp/gen/InputModelInf.txt"

# Reference: one plain run per input, with the batch's date word, set aside.
mkdir -p "$tmp/ref"
cp "$control" "$tmp/ref/InputModelInf.txt"
for input in "${inputs[@]}"; do
  base=$(basename "$input")
  date_word=$(echo "$base" | grep -oE '[0-9]{10}|[0-9]{8}' | head -n 1 || true)
  echo "${date_word:-nodate}" > "$tmp/ref/adate.txt"
  status=0
  (cd "$tmp/ref" && printf '%s\nx\n' "$input" | "$converter") > "$tmp/ref/$base.log" 2>&1 || status=$?
  echo "$status" > "$tmp/ref/$base.status"
  for suffix in .ZEPwrk .ZEPwrk.gdsinfo; do
    [ -f "$input$suffix" ] && mv "$input$suffix" "$tmp/ref/$base$suffix"
  done
done

# The batch, inputs given on standard input, relative paths included.
cd "$tmp"
printf '%s\n' "${inputs[@]/#$tmp\//}" > list.txt
status=0
bash "$tools/convert_batch.sh" -j 2 --logdir "$tmp/logs" --workroot "$tmp/work" "$control" < list.txt > batch.out 2>&1 ||
  status=$?
cat batch.out

check "batch exit status is 1 when some data times did not convert" [ "$status" -eq 1 ]
check "summary counts 18 converted" grep -qx 'converted: 18' batch.out
check "summary counts 2 stopped" grep -qx 'stopped on unrepairable data: 2' batch.out
check "summary counts 1 failed" grep -qx 'failed: 1' batch.out
check "summary shows the height stop line" \
  grep -qF "$data/gap_height.bin: Height data missing at level:    100.000000" batch.out
check "summary shows the RH patch failure" grep -qF "$data/gap_rh.bin: RH patch did not work.." batch.out
check "summary shows the diagnostic of the missing file" \
  grep -qF "$data/absent.bin (exit 2): Input2ModelData: $data/absent.bin: cannot open: No such file or directory" batch.out
check "a progress line per data time" [ "$(grep -c '^\[[0-9]*/21\] ' batch.out)" -eq 21 ]
check "a joblog with 21 jobs" [ "$(tail -n +2 logs/joblog | wc -l)" -eq 21 ]

index=0
for input in "${inputs[@]}"; do
  index=$((index + 1))
  base=$(basename "$input")
  key=$(key_of "$index" "$input")
  check "$base: log equals a single run's" cmp -s "logs/$key.log" "$tmp/ref/$base.log"
  check "$base: exit status equals a single run's" \
    [ "$(sed -n 's/^status //p' "logs/$key.status")" = "$(cat "$tmp/ref/$base.status")" ]
  for suffix in .ZEPwrk .ZEPwrk.gdsinfo; do
    if [ -f "$tmp/ref/$base$suffix" ]; then
      check "$base$suffix equals a single run's" cmp -s "$input$suffix" "$tmp/ref/$base$suffix"
    else
      check "$base$suffix absent as in a single run" [ ! -e "$input$suffix" ]
    fi
  done
done

# A batch in which everything converts exits 0; inputs as arguments, one job.
status=0
INPUT2MODELDATA=$converter bash "$tools/convert_batch.sh" -j 1 --logdir "$tmp/logs_ok" --workroot "$tmp/work_ok" \
  "$control" "${inputs[@]:0:3}" > ok.out 2>&1 || status=$?
check "a batch that converts everything exits 0" [ "$status" -eq 0 ]
check "and counts 3 converted" grep -qx 'converted: 3' ok.out
check "with the converter INPUT2MODELDATA names" grep -qF "program Input2ModelData" "$tmp/logs_ok/$(key_of 1 "${inputs[0]}").status"
check "and its manifest names the input's SHA-256" \
  grep -qx "input_sha256 $(sha256sum < "${inputs[0]}" | cut -d' ' -f1)" "$tmp/logs_ok/$(key_of 1 "${inputs[0]}").status"
check "and the work file's" \
  grep -qx "work_file_sha256 $(sha256sum < "${inputs[0]}.ZEPwrk" | cut -d' ' -f1)" "$tmp/logs_ok/$(key_of 1 "${inputs[0]}").status"
# Usage errors exit 2.
for arguments in "" "-j" "-j x $control" "--bogus $control" "$tmp/absent_control.txt x.bin"; do
  status=0
  # shellcheck disable=SC2086
  bash "$tools/convert_batch.sh" $arguments < /dev/null > usage.out 2>&1 || status=$?
  check "convert_batch.sh $arguments: usage error, exit 2" [ "$status" -eq 2 ]
done

# Slurm: two array tasks run by hand with the variables Slurm would set, as
# for an array given to sbatch directly; a blank line in the list is skipped.
{ head -n 1 list.txt | sed "s|^|$tmp/|"; echo; sed -n 2p list.txt | sed "s|^|$tmp/|"; } > slurm_list.txt
for task in 1 2 3; do
  status=0
  SLURM_ARRAY_TASK_ID=$task SLURM_ARRAY_JOB_ID=77 SLURM_SUBMIT_DIR="$repo" INPUT2MODELDATA="$converter" \
    bash "$tools/convert_slurm.sh" "$control" "$tmp/slurm_list.txt" "$tmp/slurm_logs" "$tmp/slurm_work" \
    > "slurm_$task.out" 2>&1 || status=$?
  check "slurm task $task exits 0" [ "$status" -eq 0 ]
done
index=0
for input in "$tmp/${inputs[0]#$tmp/}" "$tmp/${inputs[1]#$tmp/}"; do
  index=$((index + 1))
  key=$(key_of "$index" "$input")
  check "slurm log of $(basename "$input") equals the batch's" cmp -s "slurm_logs/$key.log" "logs/$key.log"
  check "slurm work file of $(basename "$input") equals a single run's" \
    cmp -s "$input.ZEPwrk" "$tmp/ref/$(basename "$input").ZEPwrk"
done
status=0
bash "$tools/batch_report.sh" "$tmp/slurm_logs" > slurm_report.out || status=$?
check "the report on the Slurm logs exits 0" [ "$status" -eq 0 ]
check "and counts 2 converted: the blank line dropped nothing" grep -qx 'converted: 2' slurm_report.out
for script in "$tools"/*.sh; do check "$(basename "$script") passes bash -n" bash -n "$script"; done
if command -v shellcheck > /dev/null; then
  check "every script passes shellcheck" shellcheck -x -P "$repo/tools" "$repo"/tools/*.sh "$repo"/tests/*.sh "$repo"/tests/support/*.sh "$repo"/examples/*.sh \
    "$repo"/bench/*.sh "$repo"/.ci/run
fi

# The importer's output folder goes to the batch script as it is.
"$importer" --out "$tmp/imported" "$repo/examples/gfs/gfs_2p5deg_subset.grib2" > /dev/null
mkdir -p "$tmp/imported_ref"
cp "$tmp/imported/InputModelInf.txt" "$tmp/imported/adate.txt" "$tmp/imported/gfs_2011011512.bin" "$tmp/imported_ref/"
(cd "$tmp/imported_ref" && printf 'gfs_2011011512.bin\nx\n' | "$converter" > /dev/null)
status=0
printf '%s\n' "$tmp"/imported/*.bin | bash "$tools/convert_batch.sh" -j 1 --logdir "$tmp/logs_imported" \
  --workroot "$tmp/work_imported" "$tmp/imported/InputModelInf.txt" > imported.out 2>&1 || status=$?
check "the imported folder converts in a batch" [ "$status" -eq 0 ]
check "its work file equals a single run's" \
  cmp -s "$tmp/imported/gfs_2011011512.bin.ZEPwrk" "$tmp/imported_ref/gfs_2011011512.bin.ZEPwrk"

finish_checks batch_test
