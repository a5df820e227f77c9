#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets, one folder per target, from
# the bundled sample data time and the edge cases the tests use: grids and
# levels of several sizes, missing levels that are patched or stop the run,
# point markers, long, short and truncated records, free-form control files.
#
#   make_seeds.sh MAKE_DATA_TIME OUT_DIR
set -euo pipefail
make_data_time=$1 out=$2
repo=$(cd "$(dirname "$0")/../.." && pwd)
sample=$repo/examples/sample

# Only this script's folders: the importer's seeds have a writer of their own.
rm -rf "$out"/{control_files_fuzzer,date_file_fuzzer,input_records_fuzzer,whole_run_fuzzer}
mkdir -p "$out"/{control_files_fuzzer,date_file_fuzzer,input_records_fuzzer,whole_run_fuzzer}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# --- standard input + run control file -------------------------------------
grid=$'0\n-90000\n0\n90000\n357500\n2500\n2500\n'
n=0
control_seed() {  # control_seed STDIN_TEXT CONTROL_TEXT
  n=$((n + 1))
  printf '%s%s' "$1" "$2" > "$out/control_files_fuzzer/seed$n"
}
control_seed $'in.bin\nsample run\n' "$(cat "$sample/InputModelInf.txt")"$'\n'
control_seed $'in.bin remark\r\nx' $'TESTMODEL\r\n4 3 2\r\n'"${grid//$'\n'/$'\r\n'}"$'1000\r\n850\r\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4,3,2\n'"$grid"$'1000\n850\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4 3\n2\n'"$grid"$'1.0e3\n8.5D2\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n 4 , 3 ,2\n'"$grid"$'+1000.\n85000e-2 x\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4 3 3\n'"$grid"$'1000 925 850\n700\n500\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4 x 2\n'"$grid"$'1000\n850\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4 3 2\n'"$grid"$'1000\n1e39\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4 3 2\n'"$grid"$'1000\n,850\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n4 3 2\n0\n99999999999\n'
control_seed $'in.bin\nx\n' $'BIG\n8192 8192 10\n'"$grid"$'1000\n'
control_seed $'in.bin\nx\n' $'TESTMODEL\n-4 3 2\n'"$grid"
control_seed "$(printf 'p%.0s' $(seq 1 300))"$'\nx\n' $'T\n2 2 1\n'"$grid"$'850\n'
control_seed $'\n\n' ''
control_seed $'in.bin' ''

# --- date file ----------------------------------------------------------------
n=0
for text in "$(cat "$sample/adate.txt")"$'\n' $'  2024010100 rest\n' "'2024 01 01'" '"20""24"' "'open" \
            $'\n\n\t2024/01/01\n' '' ' ' 'x,y' $'2024010100\r\n'; do
  n=$((n + 1))
  printf '%s' "$text" > "$out/date_file_fuzzer/seed$n"
done

# --- input records (3 grid bytes, then the file) ------------------------------
n=0
records_seed() {  # records_seed IM JM LM FILE
  n=$((n + 1))
  # shellcheck disable=SC2059  # the format is made of the three grid bytes
  { printf "\\x$(printf %02x $(($1 - 2)))\\x$(printf %02x $(($2 - 2)))\\x$(printf %02x $(($3 - 1)))"
    cat "$4"; } > "$out/input_records_fuzzer/seed$n"
}
data_time() {  # data_time IM JM LM [make_data_time options...] -> $scratch/in.bin
  local im=$1 jm=$2 lm=$3; shift 3
  "$make_data_time" --im "$im" --jm "$jm" --lm "$lm" --dir "$scratch" "$@" > /dev/null
}
for shape in "2 2 1" "4 3 2" "5 4 3" "3 2 3"; do
  read -r im jm lm <<< "$shape"
  data_time "$im" "$jm" "$lm"
  records_seed "$im" "$jm" "$lm" "$scratch/in.bin"
  size=$(stat -c %s "$scratch/in.bin")
  for cut in 2 6 $((size / 2)) $((size - 2)); do  # inside a count, inside a payload
    head -c "$cut" "$scratch/in.bin" > "$scratch/cut.bin"
    records_seed "$im" "$jm" "$lm" "$scratch/cut.bin"
  done
done
data_time 4 3 2 --marker tp:1:2:2 --marker slp:3:1:1 --marker slp:1:4:3
records_seed 4 3 2 "$scratch/in.bin"
data_time 5 4 3 --missing rh:1 --missing slp:7
records_seed 5 4 3 "$scratch/in.bin"
# The sample's own records are far longer than a small grid's.
head -c 4096 "$sample/in.bin" > "$scratch/cut.bin"
records_seed 2 2 1 "$scratch/cut.bin"

# --- whole run: 5 x 4, levels 1000 850 500 300 --------------------------------
n=0
levels=1000,850,500,300
for options in "" "--missing rh:1" "--missing rh:1 --missing rh:2" "--missing rh:4" "--missing rh:2" \
               "--missing tp:2" "--missing uw:3" "--missing q:4" "--missing rh:1 --missing uw:1" \
               "--missing slp:5 --missing slp:6" "--missing slp:9 --missing slp:10" \
               "--marker slp:7:2:2 --marker slp:8:5:4" "--marker tp:3:1:1 --marker rh:1:5:4" \
               "--seed 7 --marker slp:1:3:3"; do
  # shellcheck disable=SC2086  # the options are words on purpose
  data_time 5 4 4 --levels "$levels" $options
  n=$((n + 1))
  cp "$scratch/in.bin" "$out/whole_run_fuzzer/seed$n"
done
head -c 1500 "$scratch/in.bin" > "$out/whole_run_fuzzer/seed_cut"
# A soil slice whose first point holds the system's own missing value
# (-99999.0, little-endian) is reported and, for layers 3 and 4, copied.
data_time 5 4 4 --levels "$levels"
record=$((4 + 5 * 4 * 4 + 4))
for slices in "9 10" "11 12" "5 6"; do
  n=$((n + 1))
  cp "$scratch/in.bin" "$out/whole_run_fuzzer/seed$n"
  for slice in $slices; do
    printf '\x80\x4f\xc3\xc7' | dd of="$out/whole_run_fuzzer/seed$n" bs=1 seek=$(((6 * 4 + slice - 1) * record + 4)) \
      conv=notrunc status=none
  done
done
echo "seeds written to $out"
