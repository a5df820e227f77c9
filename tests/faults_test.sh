#!/usr/bin/env bash
# Faults injected into the whole chain, as an operator meets them: a batch
# killed with kill -9 and resumed, two batches at once, inputs whose keys
# would collide, run folders with blanks and shell characters, a converter
# killed while it writes, a full disk under each program, FIFOs given as
# files. Each ends with every data time done
# or reported as not done, and never a partial file under a final name.
#
#   faults_test.sh BUILD_DIR
# Exit 77 (skipped) when GNU parallel is not installed.
set -euo pipefail

build=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
command -v parallel > /dev/null 2>&1 || { echo "GNU parallel not installed: skipped"; exit 77; }

# shellcheck source=SCRIPTDIR/support/checks.sh
source "$repo/tests/support/checks.sh"
all_true() {  # all_true 'TEST' 'TEST' ...: each a test(1) expression
  local t
  for t in "$@"; do eval "test $t" || return 1; done
}
# Files of FOLDER (recursively) under a final name: all but the hidden
# temporary ones.
final_files() { find "$1" -type f ! -name '.*.part' -printf '%P\n' | sort; }
running() {  # running TEXT: whether a process's command line holds TEXT
  local f
  for f in /proc/[0-9]*/cmdline; do
    if [[ "$(tr '\0' ' ' < "$f" 2> /dev/null)" == *"$1"* ]]; then return 0; fi
  done
  return 1
}

install_into_scratch "$build"
tools=$installed
converter=$tools/Input2ModelData
make_data_time=$build/bin/make_data_time

# --- 1. A batch of 20, killed with kill -9 in the middle, then resumed ----
mkdir -p "$tmp/gen" "$tmp/data" "$tmp/reference"
for n in $(seq 1 20); do
  name=$(printf 'era5_2024010%d%02d.bin' $(( (n - 1) / 4 + 1 )) $(( (n - 1) % 4 * 6 )))
  "$make_data_time" --im 12 --jm 8 --lm 4 --seed "$n" --dir "$tmp/gen" --name "$name" > /dev/null
  mv "$tmp/gen/$name" "$tmp/data/"
done
control=$tmp/gen/InputModelInf.txt
cp "$tmp"/data/*.bin "$tmp/reference/"
mkdir -p "$tmp/refrun"
(cd "$tmp/refrun" && printf '%s\n' "$tmp"/reference/*.bin | bash "$tools/convert_batch.sh" -j 2 "$control" > reference.out 2>&1) || true
check "the uninterrupted batch converts all 20" grep -qx 'converted: 20' "$tmp/refrun/reference.out"

# A converter slowed down, so that the kill falls in the middle.
cat > "$tmp/slow_converter" <<EOF
#!/usr/bin/env bash
sleep 0.3
exec "$converter" "\$@"
EOF
chmod +x "$tmp/slow_converter"
cd "$tmp"
printf '%s\n' "$tmp"/data/*.bin > list.txt
setsid bash "$tools/convert_batch.sh" -j 1 --converter "$tmp/slow_converter" "$control" < list.txt > killed.out 2>&1 &
batch_pid=$!
batch=""
for _ in $(seq 300); do
  batch=$(find "$tmp" -maxdepth 1 -type d -name 'batch-*' | head -n 1)
  if [ -n "$batch" ] && [ "$(count_files "$batch"/logs/*.status)" -ge 8 ]; then break; fi
  sleep 0.1
done
kill -9 -- "-$batch_pid" 2> /dev/null || true
wait "$batch_pid" 2> /dev/null || true
# GNU parallel starts each task in a process group of its own: the task
# running at the kill outlives the batch and writes its status. Counted
# once it has ended.
for _ in $(seq 300); do
  running "$tools/convert_one.sh" || break
  sleep 0.1
done
done_before=$(count_files "$batch"/logs/*.status)
check "the kill fell in the middle ($done_before of 20 done)" all_true "$done_before -ge 8" "$done_before -lt 20"
status=0
bash "$tools/batch_report.sh" "$batch/logs" > killed_report.out || status=$?
check "the report of the killed batch exits 1" [ "$status" -eq 1 ]
check "and counts $((20 - done_before)) data times not done" grep -qx "not done: $((20 - done_before))" killed_report.out
check "naming the first one not done" grep -q "era5_.*\.bin: no status: not converted in this batch" killed_report.out
status=0
bash "$tools/convert_batch.sh" --resume "$batch" > resumed.out 2>&1 || status=$?
check "the resumed batch exits 0" [ "$status" -eq 0 ]
check "converting only the $((20 - done_before)) left" grep -q "resuming batch .*: $((20 - done_before)) of 20 data times" resumed.out
check "and its report counts 20 converted" grep -qx 'converted: 20' resumed.out
for input in "$tmp"/data/*.bin; do
  base=$(basename "$input")
  check "$base: work file as the uninterrupted batch's" cmp -s "$input.ZEPwrk" "$tmp/reference/$base.ZEPwrk"
  check "$base: .gdsinfo as the uninterrupted batch's" cmp -s "$input.ZEPwrk.gdsinfo" "$tmp/reference/$base.ZEPwrk.gdsinfo"
done
# A work file changed afterwards: --verify names it, a resume converts it again.
first=$(head -n 1 list.txt)
printf 'x' | dd of="$first.ZEPwrk" bs=1 seek=100 conv=notrunc status=none
status=0
bash "$tools/batch_report.sh" "$batch/logs" > unverified.out || status=$?
check "a report without --verify trusts the sizes (exit 0)" [ "$status" -eq 0 ]
status=0
bash "$tools/batch_report.sh" --verify "$batch/logs" > verified.out || status=$?
check "--verify exits 1" [ "$status" -eq 1 ]
check "and names the changed work file" grep -qF "$first.ZEPwrk has changed since it was converted" verified.out
bash "$tools/convert_batch.sh" --resume "$batch" > reresumed.out 2>&1
check "a resume converts that one again" grep -q "resuming batch .*: 1 of 20 data times" reresumed.out
check "and restores it" cmp -s "$first.ZEPwrk" "$tmp/reference/$(basename "$first").ZEPwrk"
# A status of another batch in a reused log folder counts as not done.
status=0
bash "$tools/convert_batch.sh" --logdir "$batch/logs" "$control" "$first" > reused.out 2>&1 || status=$?
check "a log folder of another batch is refused (exit 2)" [ "$status" -eq 2 ]
check "saying whose it is" grep -q "holds the logs of batch" reused.out
cp "$batch/logs/batch.id" "$tmp/batch.id.saved"
echo "another-batch" > "$batch/logs/batch.id"
status=0
bash "$tools/batch_report.sh" "$batch/logs" > stale.out || status=$?
check "statuses of an earlier batch are not done (exit 1)" [ "$status" -eq 1 ]
check "all 20 of them" grep -qx 'not done: 20' stale.out
cp "$tmp/batch.id.saved" "$batch/logs/batch.id"

# --- 2. Two batches started at once, with different lists -----------------
mkdir -p "$tmp/twin" && cd "$tmp/twin"
head -n 10 ../list.txt > a.txt
tail -n 10 ../list.txt > b.txt
bash "$tools/convert_batch.sh" -j 1 "$control" < a.txt > a.out 2>&1 &
pid_a=$!
bash "$tools/convert_batch.sh" -j 1 "$control" < b.txt > b.out 2>&1 &
pid_b=$!
status_a=0 status_b=0
wait "$pid_a" || status_a=$?
wait "$pid_b" || status_b=$?
check "two batches at once both exit 0" all_true "$status_a -eq 0" "$status_b -eq 0"
check "in two folders of their own" [ "$(count_files batch-*)" -eq 2 ]
check "the first counting its own 10" grep -qx 'converted: 10' a.out
check "the second counting its own 10" grep -qx 'converted: 10' b.out
for f in batch-*/logs/inputs.txt; do
  # shellcheck disable=SC2016  # $1 is the inner shell's
  check "$f lists one of the lists" bash -c 'cmp -s "$1" a.txt || cmp -s "$1" b.txt' _ "$f"
done

# --- 3. Inputs whose escaped paths were one key ----------------------------
mkdir -p "$tmp/keys/a" && cd "$tmp/keys"
cp "$tmp/reference/era5_2024010100.bin" a/b_X.bin
cp "$tmp/reference/era5_2024010106.bin" a_b_X.bin
bash "$tools/convert_batch.sh" -j 1 "$control" "$tmp/keys/a/b_X.bin" "$tmp/keys/a_b_X.bin" > keys.out 2>&1
check "/a/b_X.bin and /a_b_X.bin both convert" grep -qx 'converted: 2' keys.out
check "with a log each" [ "$(count_files batch-*/logs/*.log)" -eq 2 ]
check "the first input's log is its own" grep -q "a/b_X.bin" batch-*/logs/000001_b_X.bin.log
check "the second input's log is its own" grep -q "a_b_X.bin" batch-*/logs/000002_a_b_X.bin.log
check "a/b_X.bin's work file as its reference's" cmp -s a/b_X.bin.ZEPwrk "$tmp/reference/era5_2024010100.bin.ZEPwrk"

# --- 4. Run folders with a blank and with shell characters ----------------
for folder in "run with blank" 'run;touch PWNED;&|x'; do
  mkdir -p "$tmp/$folder/data"
  cp "$tmp/reference/era5_2024010100.bin" "$tmp/$folder/data/"
  cp "$control" "$tmp/$folder/ctl.txt"
  cd "$tmp/$folder"
  status=0
  printf 'data/era5_2024010100.bin\n' | bash "$tools/convert_batch.sh" -j 1 ctl.txt > out.txt 2>&1 || status=$?
  check "a batch in \"$folder\" exits 0" [ "$status" -eq 0 ]
  check "its work file lands beside its input" cmp -s data/era5_2024010100.bin.ZEPwrk "$tmp/reference/era5_2024010100.bin.ZEPwrk"
  check "nothing in the folder's name ran" all_true "! -e PWNED" "! -e '$tmp/PWNED'"
done
mkdir -p "$tmp/x;touch PWNED;" && cp "$control" "$tmp/x;touch PWNED;/ctl.txt"
cd "$tmp/keys"
bash "$tools/convert_batch.sh" -j 1 "$tmp/x;touch PWNED;/ctl.txt" a_b_X.bin > semicolon.out 2>&1 || true
# shellcheck disable=SC2016  # $1 is the inner shell's
check "a control path with ';' runs nothing but the conversion" bash -c '! ls "$1"/PWNED "$1"/keys/PWNED 2> /dev/null' _ "$tmp"
check "and the conversion" grep -qx 'converted: 1' semicolon.out

# --- 5. The converter killed while it writes keeps the previous outputs ---
mkdir -p "$tmp/big" && cd "$tmp/big"
"$make_data_time" --im 720 --jm 361 --lm 37 --seed 3 --dir . --name in.bin > /dev/null
printf 'in.bin\nx\n' | "$converter" > first.log
cp in.bin.ZEPwrk previous.ZEPwrk
cp in.bin.ZEPwrk.gdsinfo previous.gdsinfo
# The same data time on another grid of levels: other outputs.
sed -i '10s/.*/1010/' InputModelInf.txt
printf 'in.bin\nx\n' > stdin.txt
"$converter" < stdin.txt > second.log &
pid=$!
for _ in $(seq 2000); do
  part=$(find . -maxdepth 1 -regextype posix-extended -regex '\./\.in\.bin\.ZEPwrk\.[0-9]+-[0-9]+\.part' | head -n 1)
  if [ -n "$part" ] && [ "$(stat -c %s "$part" 2> /dev/null || echo 0)" -gt 0 ]; then break; fi
  sleep 0.005
done
kill -9 "$pid" 2> /dev/null || true
wait "$pid" 2> /dev/null || true
check "the kill caught the converter writing" [ -n "$part" ]
check "the previous work file stands unchanged" cmp -s in.bin.ZEPwrk previous.ZEPwrk
check "and the previous .gdsinfo" cmp -s in.bin.ZEPwrk.gdsinfo previous.gdsinfo

# --- 6. A full disk under each program ------------------------------------
disk=$tmp/disk
mkdir -p "$disk"
if mount -t tmpfs -o size=4m tmpfs "$disk" 2> /dev/null; then
  mounted=$disk
  # The converter: its input fits, its outputs do not.
  mkdir -p "$disk/c"
  "$make_data_time" --im 40 --jm 20 --lm 10 --seed 4 --dir "$disk/c" --name in.bin > /dev/null
  fill_disk "$disk"
  status=0
  (cd "$disk/c" && printf 'in.bin\nx\n' | "$converter" > log.txt 2> "$tmp/convert_err.txt") || status=$?
  check "converter on a full disk: exit 2" [ "$status" -eq 2 ]
  check "saying so" grep -q 'No space left on device' "$tmp/convert_err.txt"
  check "and no output under its name" [ -z "$(final_files "$disk/c" | grep ZEPwrk || true)" ]
  check "nor a temporary one left" [ -z "$(find "$disk/c" -name '*.part')" ]
  rm -rf "${disk:?}"/*
  # The importer: its output folder on the full disk.
  mkdir -p "$disk/i"
  fill_disk "$disk"
  status=0
  "$tools/import_data_times" --out "$disk/i" "$repo/examples/gfs/gfs_2p5deg_subset.grib2" > /dev/null 2> "$tmp/import_err.txt" ||
    status=$?
  check "importer on a full disk: exit 2" [ "$status" -eq 2 ]
  check "saying so" grep -q 'No space left on device' "$tmp/import_err.txt"
  check "and no data time file, control or date file" [ -z "$(final_files "$disk/i")" ]
  rm -rf "${disk:?}"/*
  # The inspector: its pictures, descriptor and report on the full disk.
  cp "$tmp/reference/era5_2024010100.bin.ZEPwrk" "$tmp/reference/era5_2024010100.bin.ZEPwrk.gdsinfo" "$disk/"
  fill_disk "$disk"
  work=$disk/era5_2024010100.bin.ZEPwrk
  inspect=("$tools/inspect_work_file")
  for case in png svg ctl report; do
    status=0
    case $case in
      png) "${inspect[@]}" png "$work" t:850 ;;
      svg) "${inspect[@]}" png "$work" t:850 --svg ;;
      ctl) "${inspect[@]}" ctl "$work" ;;
      report) "${inspect[@]}" report "$work" --out "$disk/report" --thumbnails t:850 ;;
    esac > /dev/null 2>&1 || status=$?
    check "inspect_work_file $case on a full disk: exit 2" [ "$status" -eq 2 ]
  done
  check "and no picture, descriptor or page under its name" \
    [ -z "$(final_files "$disk" | grep -vE '^(filler|era5_2024010100\.bin\.ZEPwrk(\.gdsinfo)?)$' || true)" ]
  umount "$disk" && mounted=""
else
  echo "skipped: the full-disk cases (mounting a tmpfs needs root)"
fi

# --- 7. FIFOs given as files ------------------------------------------------
cd "$tmp"
mkfifo fifo.grib2
status=0
timeout 20 "$tools/import_data_times" --out fifo_out fifo.grib2 > /dev/null 2> fifo_err.txt || status=$?
check "a FIFO as importer input: exit 2 at once" [ "$status" -eq 2 ]
check "as not a regular file" grep -qx 'import_data_times: fifo.grib2: not a regular file: a FIFO' fifo_err.txt
cp "$tmp/reference/era5_2024010100.bin.ZEPwrk" fifo.ZEPwrk
mkfifo fifo.ZEPwrk.gdsinfo
status=0
timeout 20 "$tools/inspect_work_file" summary fifo.ZEPwrk > /dev/null 2> fifo_inspect.txt || status=$?
check "a FIFO as .gdsinfo: exit 2 at once" [ "$status" -eq 2 ]
check "as not a regular file" grep -q 'fifo.ZEPwrk.gdsinfo: not a regular file' fifo_inspect.txt

finish_checks faults_test
