#!/usr/bin/env bash
# shellcheck disable=SC2016  # the conditions given to all_of and eval are evaluated there
# What an operator meets, one case each, with the real programs: FIFOs where
# files are read, symbolic links at output names, memory limits, lists
# written with CR LF, an input that does not fit its control file, a work
# file the inspector finds not ready, a log folder on a full disk, output
# to a full device, input paths at the limit of their length, a file-size
# limit. Every run has a time limit: a hang fails its check instead of
# stalling the suite.
#
#   operator_faults_test.sh BUILD_DIR
# Exit 77 (skipped) when GNU parallel is not installed.
set -euo pipefail

build=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
command -v parallel > /dev/null 2>&1 || { echo "GNU parallel not installed: skipped"; exit 77; }
# shellcheck source=SCRIPTDIR/support/checks.sh
source "$repo/tests/support/checks.sh"

install_into_scratch "$build"
bin=$installed
converter=$bin/Input2ModelData importer=$bin/import_data_times inspector=$bin/inspect_work_file
run() { timeout 60 "$@"; }  # a hang ends with status 124
# Checks of more than one condition (check takes one command).
all_of() {  # all_of 'CONDITION' ...: each a command line for eval
  local c
  for c in "$@"; do eval "$c" || return 1; done
}
ended_with() {  # ended_with STATUS TEXT FILE: the status was STATUS and FILE holds TEXT
  [ "$status" -eq "$1" ] && grep -q "$2" "$3"
}

mkdir -p "$tmp/data"
for n in 1 2 3; do
  "$build/bin/make_data_time" --im 12 --jm 8 --lm 4 --seed "$n" --dir "$tmp/data" --name "era5_202401010$n.bin" > /dev/null
done
control=$tmp/data/InputModelInf.txt

# --- Lists with CR LF: the CR is no part of a name -------------------------
cd "$tmp"
printf '%s\r\n' "$tmp"/data/era5_*.bin > crlf.txt
status=0
run bash "$bin/convert_batch.sh" -j 2 --logdir "$tmp/crlf_logs" "$control" < crlf.txt > crlf.out 2>&1 || status=$?
check "a CR LF list converts: exit 0" [ "$status" -eq 0 ]
check "and counts its 3 data times converted" grep -qx 'converted: 3' crlf.out
check "no name holds a CR" bash -c "! grep -q $'\r' '$tmp/crlf_logs/inputs.txt' && ! ls '$tmp/crlf_logs' | grep -q $'\r'"
batch=$(dirname "$(find "$tmp" -maxdepth 2 -name batch.settings -newer crlf.txt | head -n 1)")
status=0
run bash "$bin/convert_batch.sh" --resume "$batch" > resume.out 2>&1 || status=$?
check "its resume finds nothing to convert" grep -q ': 0 of 3 data times to convert' resume.out

# --- A FIFO in a list is refused before any conversion ---------------------
mkfifo "$tmp/data/era5_2024010200.bin"
status=0
run bash "$bin/convert_batch.sh" --logdir "$tmp/fifo_logs" "$control" "$tmp/data/era5_2024010101.bin" \
  "$tmp/data/era5_2024010200.bin" > fifo.out 2>&1 || status=$?
check "a FIFO in the list: exit 2 at once" [ "$status" -eq 2 ]
check "naming it" grep -q "era5_2024010200.bin: not a regular file" fifo.out
check "nothing converted" [ "$(count_files "$tmp"/fifo_logs/*.status)" -eq 0 ]
rm "$tmp/data/era5_2024010200.bin"

# --- An input that does not fit its control file ---------------------------
sed '2s/ 4$/ 3/' "$control" > "$tmp/lm3.txt"
status=0
run bash "$bin/convert_batch.sh" --logdir "$tmp/lm3_logs" "$tmp/lm3.txt" "$tmp/data/era5_2024010101.bin" > lm3.out 2>&1 ||
  status=$?
check "a control file of 3 levels for a file of 4: the report exits 1" [ "$status" -eq 1 ]
check "the data time failed saying why" grep -q 'holds 36 records, the control file.s grid and levels need 30' lm3.out
check "and was not converted" [ ! -e "$tmp/data/era5_2024010101.bin.ZEPwrk.lm3" ]

# --- A work file the inspector finds not ready -----------------------------
cp "$tmp/data/era5_2024010102.bin" "$tmp/data/hot_2024010102.bin"
# A temperature of 1e10 K at the first point of the first temperature
# record (record 3 lm + 1 = 13, after its 4-byte length marker).
printf '\x28\x6b\x6e\x50' | dd of="$tmp/data/hot_2024010102.bin" bs=1 seek=$((12 * (12 * 8 * 4 + 8) + 4)) conv=notrunc 2> /dev/null
status=0
run bash "$bin/convert_batch.sh" --logdir "$tmp/hot_logs" "$control" "$tmp/data/hot_2024010102.bin" > hot.out 2>&1 || status=$?
check "a work file that is not ready: the report exits 1" [ "$status" -eq 1 ]
check "counting it apart" grep -qx 'converted, NOT READY: 1' hot.out
check "its manifest holds the verdict" grep -q '^verdict NOT READY' "$tmp/hot_logs/000001_hot_2024010102.bin.status"

# --- A log folder on a full disk --------------------------------------------
if [ "$(id -u)" -eq 0 ] && mkdir -p "$tmp/full" && mount -t tmpfs -o size=64k tmpfs "$tmp/full" 2> /dev/null; then
  mounted=$tmp/full
  head -c 70000 /dev/zero > "$tmp/full/filler" 2> /dev/null || true
  status=0
  run bash "$bin/convert_batch.sh" --logdir "$tmp/full/logs" "$control" "$tmp/data/era5_2024010103.bin" > full.out 2>&1 ||
    status=$?
  check "a log folder on a full disk: exit 2" [ "$status" -eq 2 ]
  check "one line naming it and the reason" grep -qx "convert_batch.sh: $tmp/full/logs: cannot write the batch's logs there (No space left on device)" full.out
  check "no empty file left" [ -z "$(find "$tmp/full" -type f -empty)" ]
  umount "$tmp/full" && mounted=""
else
  echo "skipped: a full disk needs a tmpfs of the test's own (root)"
fi

# --- Outputs at symbolic links are written where the links point ------------
mkdir -p "$tmp/links/run" "$tmp/links/disk"
cp "$tmp/data/era5_2024010101.bin" "$control" "$tmp/data/adate.txt" "$tmp/links/run/"
cd "$tmp/links/run"
ln -s ../disk/work.bin era5_2024010101.bin.ZEPwrk
ln -s ../disk/work.gdsinfo era5_2024010101.bin.ZEPwrk.gdsinfo
status=0
printf 'era5_2024010101.bin\nx\n' | run "$converter" > log.txt 2>&1 || status=$?
check "the converter through links: exit 0" [ "$status" -eq 0 ]
check "the links stay links" all_of '[ -L era5_2024010101.bin.ZEPwrk ]' '[ -L era5_2024010101.bin.ZEPwrk.gdsinfo ]'
check "the outputs stand where they point" cmp -s "$tmp/links/disk/work.bin" "$tmp/data/../links/run/era5_2024010101.bin.ZEPwrk"
check "the inspector reads them" "$inspector" summary era5_2024010101.bin.ZEPwrk > /dev/null
rm era5_2024010101.bin.ZEPwrk.gdsinfo && ln -s ../nowhere/x era5_2024010101.bin.ZEPwrk.gdsinfo
status=0
printf 'era5_2024010101.bin\nx\n' | run "$converter" > log.txt 2> err.txt || status=$?
check "a link into a folder that does not exist: exit 2" [ "$status" -eq 2 ]
check "naming it" grep -q 'its symbolic link points into a folder that does not exist' err.txt
rm era5_2024010101.bin.ZEPwrk.gdsinfo && ln -s loop_a era5_2024010101.bin.ZEPwrk.gdsinfo && ln -s loop_b loop_a &&
  ln -s loop_a loop_b
status=0
printf 'era5_2024010101.bin\nx\n' | run "$converter" > log.txt 2> err.txt || status=$?
check "a loop of links: exit 2 naming it" ended_with 2 'go round in a loop' err.txt
# A link to something no file can replace (a FIFO here: the same holds for
# a device, which run as root would otherwise be renamed away).
rm era5_2024010101.bin.ZEPwrk.gdsinfo && mkfifo "$tmp/links/disk/fifo" &&
  ln -s ../disk/fifo era5_2024010101.bin.ZEPwrk.gdsinfo
status=0
printf 'era5_2024010101.bin\nx\n' | run "$converter" > log.txt 2> err.txt || status=$?
check "a link to a FIFO: exit 2 naming it" ended_with 2 'not a regular file: a FIFO (where its symbolic link leads: ../disk/fifo)' err.txt
check "the FIFO left alone" [ -p "$tmp/links/disk/fifo" ]
mkdir -p "$tmp/links/imported" "$tmp/links/elsewhere"
ln -s ../elsewhere/gfs.bin "$tmp/links/imported/gfs_2011011512.bin"
status=0
run "$importer" --out "$tmp/links/imported" "$repo/examples/gfs/gfs_2p5deg_subset.grib2" > /dev/null 2>&1 || status=$?
check "the importer through a link: exit 0" [ "$status" -eq 0 ]
check "the link kept, the file where it points" all_of '[ -L "$tmp/links/imported/gfs_2011011512.bin" ]' \
  '[ -s "$tmp/links/elsewhere/gfs.bin" ]'

# --- Standard output on a full device ---------------------------------------
cd "$tmp/links/run"
rm -f era5_2024010101.bin.ZEPwrk.gdsinfo
status=0
printf 'era5_2024010101.bin\nx\n' | run "$converter" > /dev/full 2> err.txt || status=$?
check "the converter's log on /dev/full: exit 2" ended_with 2 'standard output: cannot write the log' err.txt
for program in "$inspector summary era5_2024010101.bin.ZEPwrk" "$importer --list $repo/examples/gfs/gfs_2p5deg_subset.grib2" \
  "$bin/i2m_layout data-time era5_2024010101.bin"; do
  status=0
  # shellcheck disable=SC2086  # the program and its arguments
  run $program > /dev/full 2> err.txt || status=$?
  check "$(basename "${program%% *}") on /dev/full: exit 2 saying so" ended_with 2 'standard output: cannot write' err.txt
done

# --- Input paths at the limit of their length --------------------------------
long_dir=$tmp/long
mkdir -p "$long_dir"
cp "$control" "$tmp/data/adate.txt" "$long_dir/"
for length in 239 240 247 248 254 255; do
  name=$(printf 'x%.0s' $(seq 1 $((length - ${#long_dir} - 1))))
  cp "$tmp/data/era5_2024010101.bin" "$long_dir/$name" 2> /dev/null || true
  status=0
  (cd "$long_dir" && printf '%s\nx\n' "$long_dir/$name" | run "$converter" > /dev/null 2> err.txt) || status=$?
  if [ "$length" -le 239 ]; then
    check "an input path of $length characters converts" [ "$status" -eq 0 ]
  elif [ "$length" -lt 255 ]; then
    check "an input path of $length characters: the one limit" grep -q '(input paths may have at most 239 characters)' "$long_dir/err.txt"
  else
    check "an input path of $length characters: too long" grep -q 'its path is too long (input paths may have at most 239 characters)' "$long_dir/err.txt"
  fi
  rm -f "$long_dir/$name" "$long_dir/$name".ZEPwrk* 2> /dev/null || true
done

# --- A file-size limit: no signal, no temporary file left ----------------------
cd "$tmp/links/run"
rm -f era5_2024010101.bin.ZEPwrk era5_2024010101.bin.ZEPwrk.gdsinfo
status=0
printf 'era5_2024010101.bin\nx\n' | (ulimit -f 2; run "$converter") > /dev/null 2> err.txt || status=$?
check "a file-size limit ends the converter with exit 2, not a signal" [ "$status" -eq 2 ]
check "leaving no temporary file" [ "$(count_files .*.part)" -eq 0 ]
# What a killed run of long ago left (its process is gone) goes with the next run.
touch .era5_2024010101.bin.ZEPwrk.2999999-0.part
status=0
printf 'era5_2024010101.bin\nx\n' | run "$converter" > /dev/null 2> err.txt || status=$?
check "the next run removes a killed run's temporary file" all_of '[ "$status" -eq 0 ]' '[ "$(count_files .*.part)" -eq 0 ]'
check "and says so" grep -q 'removed .era5_2024010101.bin.ZEPwrk.2999999-0.part, left by a run that did not finish' err.txt

# --- The importer under memory limits: exit 0, or 1 saying so, never a signal ---
if [ -z "${I2M_SANITIZER_BUILD:-}" ]; then
  for kib in 90000 120000 160000 240000 400000; do
    status=0
    (ulimit -v "$kib"; run "$importer" --out "$tmp/mem/$kib" "$repo/examples/gfs/gfs_2p5deg_subset.grib2") > /dev/null 2> err.txt ||
      status=$?
    check "ulimit -v $kib: exit 0, or 1 saying why (status $status)" \
      eval '[ "$status" -eq 0 ] || ended_with 1 "Allocation would exceed memory limit" err.txt'
    check "ulimit -v $kib: no temporary file left" [ -z "$(find "$tmp/mem/$kib" -name '.*.part' 2> /dev/null)" ]
  done
fi

finish_checks operator_faults_test
