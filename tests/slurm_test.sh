#!/usr/bin/env bash
# End-to-end test on a real Slurm cluster of its own: munged, slurmctld and
# slurmd started in a temporary folder (private key and socket, generated
# slurm.conf with ports of its own, SLURM_CONF pointing at it, localhost as
# the one node), the project installed into a prefix, jobs submitted from a
# run folder outside the repository. Every daemon started is stopped by its
# process id, also when a check fails. The machine's own munge and Slurm
# configuration are never read or touched.
#
#   slurm_test.sh BUILD_DIR
# Exit 77 (skipped) only where the daemons cannot start here, saying why.
set -euo pipefail

build=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
skip() { echo "skipped: $*"; exit 77; }
for program in munged slurmctld slurmd sbatch squeue sinfo scontrol; do
  command -v "$program" > /dev/null || skip "$program is not installed (Debian packages slurm-wlm and munge)"
done
[ "$(id -u)" -eq 0 ] || skip "starting slurmd needs root"

# shellcheck source=SCRIPTDIR/support/checks.sh
source "$repo/tests/support/checks.sh"

tmp=$(mktemp -d /tmp/i2m-slurm-XXXXXX)
cluster=$tmp/cluster
stop_daemons() {
  local pid
  for name in slurmd slurmctld munged; do
    [ -f "$cluster/$name.pid" ] || continue
    pid=$(cat "$cluster/$name.pid")
    kill "$pid" 2> /dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2> /dev/null || true
  done
}
trap 'stop_daemons; rm -rf "$tmp"' EXIT
mkdir -p "$cluster/state" "$cluster/spool" "$cluster/log"

# Ports of our own, free at the time of asking.
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' 2> /dev/null ||
  shuf -i 20000-40000 -n 1; }
node=$(hostname -s)
head -c 1024 /dev/urandom > "$cluster/munge.key"
chmod 400 "$cluster/munge.key"
munged --force -S "$cluster/munge.sock" --key-file="$cluster/munge.key" --pid-file="$cluster/munged.pid" \
  --log-file="$cluster/munged.log" --seed-file="$cluster/munge.seed" || skip "munged does not start: $(tail -n 1 "$cluster/munged.log")"
cat > "$cluster/slurm.conf" <<CONF
ClusterName=i2mtest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
AuthInfo=socket=$cluster/munge.sock
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$cluster/state
SlurmdSpoolDir=$cluster/spool
SlurmctldPidFile=$cluster/slurmctld.pid
SlurmdPidFile=$cluster/slurmd.pid
SlurmctldLogFile=$cluster/log/slurmctld.log
SlurmdLogFile=$cluster/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$cluster/slurm.conf
slurmctld || skip "slurmctld does not start: $(tail -n 1 "$cluster/log/slurmctld.log")"
slurmd || skip "slurmd does not start: $(tail -n 1 "$cluster/log/slurmd.log")"
for _ in $(seq 60); do
  [ "$(sinfo -h -o %t 2> /dev/null)" = idle ] && break
  sleep 0.5
done
[ "$(sinfo -h -o %t 2> /dev/null)" = idle ] || skip "the node does not come up: $(tail -n 1 "$cluster/log/slurmd.log")"
echo "cluster up: node $node idle"

# The installed prefix; nothing below runs from the repository.
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" > /dev/null || { echo "FAIL: cmake --install"; exit 1; }
export PATH="$prefix/bin:$PATH"

# Waits, at most 180 s, until Slurm holds none of the jobs given.
wait_for() {
  local waited=0
  while [ -n "$(squeue -h -j "$(IFS=,; echo "$*")" 2> /dev/null)" ] && [ $waited -lt 360 ]; do
    sleep 0.5
    waited=$((waited + 1))
  done
  [ $waited -lt 360 ]
}

# --- 1. An array of conversions, submitted from a run folder by PATH -----
run=$tmp/run
mkdir -p "$run/data" "$run/gen" "$run/ref"
for n in 0 1 2; do
  "$build/bin/make_data_time" --im 6 --jm 4 --lm 3 --seed "$n" --dir "$run/gen" --name "era5_202401010$n.bin" > /dev/null
  mv "$run/gen/era5_202401010$n.bin" "$run/data/"
done
cp "$run/gen/InputModelInf.txt" "$run/data/"
# The list with a blank line between its inputs: none is dropped.
{ echo "$run/data/era5_2024010100.bin"; echo; echo "$run/data/era5_2024010101.bin"; echo "$run/data/era5_2024010102.bin"; } \
  > "$run/inputs.txt"
cd "$run"
# The same conversions as single runs, outputs set aside.
mkdir -p ref/work && cp data/InputModelInf.txt ref/work/
for input in "$run"/data/*.bin; do
  base=$(basename "$input")
  echo "$base" | grep -oE '[0-9]{10}' > ref/work/adate.txt
  (cd ref/work && printf '%s\nbatch\n' "$input" | Input2ModelData > "../$base.log" 2>&1)
  mv "$input.ZEPwrk" "ref/$base.ZEPwrk" && rm -f "$input.ZEPwrk.gdsinfo"
done
array=$(convert_slurm.sh submit --throttle 2 data/InputModelInf.txt inputs.txt logs) ||
  { echo "FAIL: convert_slurm.sh submit"; exit 1; }
check "the array is submitted" [ -n "$array" ]
check "the array ends within 180 s" wait_for "$array"
index=0
for input in "$run"/data/*.bin; do
  index=$((index + 1))
  base=$(basename "$input")
  check "$base: work file equals a single run's" cmp -s "$input.ZEPwrk" "ref/$base.ZEPwrk"
  check "$base: log equals a single run's" cmp -s "logs/$(key_of "$index" "$input").log" "ref/$base.log"
done
check "Slurm's output files are in the log folder" [ "$(count_files logs/slurm-*.out)" -eq 3 ]
check "none is in the submit folder" [ "$(count_files slurm-*.out)" -eq 0 ]
status=0
batch_report.sh logs > array_report.txt || status=$?
check "the report exits 0" [ "$status" -eq 0 ]
check "and counts 3 converted" grep -qx 'converted: 3' array_report.txt
# A second array into the same log folder is refused; a resume converts
# again only what is no longer done.
status=0
convert_slurm.sh submit data/InputModelInf.txt inputs.txt logs > again.out 2>&1 || status=$?
check "a second batch into one log folder is refused (exit 2)" [ "$status" -eq 2 ]
rm "data/era5_2024010101.bin.ZEPwrk"
resumed=$(convert_slurm.sh submit --resume logs)
check "a resume submits an array" [ -n "$resumed" ]
check "the resumed array ends within 180 s" wait_for "$resumed"
status=0
batch_report.sh --verify logs > resumed_report.txt || status=$?
check "after it the report exits 0, checksums verified" [ "$status" -eq 0 ]
check "the work file is back" cmp -s data/era5_2024010101.bin.ZEPwrk ref/era5_2024010101.bin.ZEPwrk
check "converted by one task" [ "$(count_files "logs/slurm-${resumed}"_*.out)" -eq 1 ]

# A task that cannot find its converter fails its data time, and says so.
head -n 1 inputs.txt > one.txt
missing=$(INPUT2MODELDATA=/nonexistent/Input2ModelData convert_slurm.sh submit data/InputModelInf.txt one.txt logs_missing)
check "the array without a converter ends" wait_for "$missing"
status=0
batch_report.sh logs_missing > missing_report.txt || status=$?
check "its report counts the data time failed, exit 1" [ "$status" -eq 1 ]
check "and names the missing converter" grep -q 'no converter there' missing_report.txt

# --- 2. A season in one submission: import, conversions, report ------------
sample=$repo/examples/gfs/gfs_2p5deg_subset.grib2
cp "$sample" "$run/gfs_a.grib2"
# A second data time: the same fields one day later.
grib_set -s dataDate=20110111 "$sample" "$run/gfs_b.grib2" || { echo "FAIL: grib_set"; exit 1; }
start=$(date +%s.%N)
season_slurm.sh --throttle 2 season gfs_a.grib2 gfs_b.grib2 > season.out || { cat season.out; echo "FAIL: season_slurm.sh"; exit 1; }
cat season.out
jobs=$(grep -oE 'job [0-9]+' season.out | cut -d' ' -f2 | paste -sd, || true)
check "the season ends within 180 s" wait_for "$jobs"
seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
echo "season: 2 data times, 4 jobs (import, 2 array tasks, report) in $seconds s"
cat season/report.txt
check "the season report counts 2 converted" grep -qx 'converted: 2' season/report.txt
check "and says the import was done" grep -qx 'import: done' season/report.txt
mkdir -p single && (cd single && import_data_times --out . ../gfs_a.grib2 ../gfs_b.grib2 > /dev/null)
for time in 2011011512 2011011612; do
  (cd single && printf 'gfs_%s.bin\nx\n' "$time" | Input2ModelData > /dev/null)
  check "gfs_$time: imported as a single run imports it" cmp -s "season/data/gfs_$time.bin" "single/gfs_$time.bin"
  check "gfs_$time: work file equals a single run's" cmp -s "season/data/gfs_$time.bin.ZEPwrk" "single/gfs_$time.bin.ZEPwrk"
done
status=0
batch_report.sh season/logs > /dev/null || status=$?
check "the season's report exits 0" [ "$status" -eq 0 ]

# The same season with the work files straight from the import: one job
# does both, the report follows; the work files are those of the batch road.
season_slurm.sh --convert direct gfs_a.grib2 gfs_b.grib2 > direct.out || { cat direct.out; echo "FAIL: season_slurm.sh --convert"; exit 1; }
jobs=$(grep -oE 'job [0-9]+' direct.out | cut -d' ' -f2 | paste -sd, || true)
check "the direct season ends within 180 s" wait_for "$jobs"
cat direct/report.txt
check "its report counts 2 converted" grep -qx 'converted: 2' direct/report.txt
for time in 2011011512 2011011612; do
  check "gfs_$time: the direct road's work file equals the batch road's" \
    cmp -s "direct/data/gfs_$time.bin.ZEPwrk" "season/data/gfs_$time.bin.ZEPwrk"
done
status=0
batch_report.sh --verify direct/data/logs > /dev/null || status=$?
check "the direct season verifies, exit 0" [ "$status" -eq 0 ]

# A season whose import fails at its job (its output folder is a file):
# its data times fail in the report.
mkdir -p broken && touch broken/data
season_slurm.sh broken gfs_a.grib2 > broken.out || { cat broken.out; echo "FAIL: season_slurm.sh (broken)"; }
jobs=$(grep -oE 'job [0-9]+' broken.out | cut -d' ' -f2 | paste -sd, || true)
check "the broken season ends within 180 s" wait_for "$jobs"
cat broken/report.txt
check "its report says the import failed" grep -q '^import: failed (exit 2): import_data_times: ' broken/report.txt
check "and counts its data time failed" grep -qx 'failed: 1' broken/report.txt
status=0
batch_report.sh broken/logs > /dev/null || status=$?
check "and exits 1" [ "$status" -eq 1 ]
# Bad input is refused before anything is submitted.
head -c 30000 "$sample" > cut.grib2
status=0
season_slurm.sh refused cut.grib2 > refused.out 2>&1 || status=$?
check "a season of bad input is not submitted (exit 2)" [ "$status" -eq 2 ]
check "and its diagnostic is the importer's" grep -q '^import_data_times: .*cut.grib2' refused.out

finish_checks slurm_test
