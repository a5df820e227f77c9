#!/usr/bin/env bash
# Benchmark of a season's two roads from GRIB to work files, on N data times
# of the ERA5-sized data set (1440 x 721 points, 37 levels, GRIB1):
#   (a) import_data_times, then convert_batch.sh on its record files;
#   (b) import_data_times --convert, the work files straight from the import.
# For each: wall time per data time, peak resident memory of its processes,
# and the peak disk use of its output folder (sampled every 0.1 s).
#
#   bash bench/season_bench.sh [--times N]      (default 4)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

times=4
while [ $# -gt 0 ]; do
  case "$1" in
    --times) times="$2"; shift ;;
    *) echo "usage: bash bench/season_bench.sh [--times N]" >&2; exit 2 ;;
  esac
  shift
done

# shellcheck source=SCRIPTDIR/build_release.sh
source "$PWD/bench/build_release.sh"
data="$PWD/build/bench-data/season"
mkdir -p "$data"
source_file="$data/era5_${times}times.grib1"
if [ ! -f "$source_file" ]; then
  echo "writing $source_file ..."
  "$bin/make_era5_grib" "$source_file.part" 1 --times "$times" && mv "$source_file.part" "$source_file"
fi
cd "$data"
results=$(mktemp -d)
trap 'rm -rf "$results" "$data/a" "$data/b"' EXIT

# sample_disk FOLDER RESULT: the largest du of FOLDER while the file
# RESULT.running exists.
sample_disk() {
  local folder=$1 result=$2 peak=0 now
  while [ -e "$result.running" ]; do
    now=$(du -sb "$folder" 2> /dev/null | cut -f1 || echo 0)
    [ "${now:-0}" -gt "$peak" ] && peak=$now
    sleep 0.1
  done
  echo "$peak" > "$result"
}
# measured NAME FOLDER COMMAND...: wall time and peak RSS (bench/measure) with
# the disk of FOLDER sampled meanwhile.
measured() {
  local name=$1 folder=$2
  shift 2
  mkdir -p "$folder"
  touch "$results/$name.disk.running"
  sample_disk "$folder" "$results/$name.disk" &
  local sampler=$!
  # The exit status is measure's record: a batch whose work files the
  # inspector finds not ready ends with 1, and is measured all the same.
  "$bin/measure" "$results/$name" "$@" > /dev/null || true
  rm -f "$results/$name.disk.running"
  wait "$sampler"
}

cat "$source_file" > /dev/null
rm -rf a b && sync
measured a_import a "$bin/import_data_times" --out a "$source_file"
measured a_batch a bash "$top/tools/convert_batch.sh" -j 2 --converter "$bin/Input2ModelData" --logdir "$data/a/logs" \
  a/InputModelInf.txt a/era5_*.bin
rm -rf a && sync
measured b_direct b "$bin/import_data_times" --convert --out b "$source_file"

awk -v n="$times" -v ai="$(cat "$results/a_import")" -v ab="$(cat "$results/a_batch")" -v bd="$(cat "$results/b_direct")" \
  -v ad1="$(cat "$results/a_import.disk")" -v ad2="$(cat "$results/a_batch.disk")" -v bdd="$(cat "$results/b_direct.disk")" '
  BEGIN {
    split(ai, x); split(ab, y); split(bd, z)
    a = x[1] + y[1]
    printf "== %d data times of 1440 x 721 x 37\n", n
    printf "  (a) import, then batch: %.2f s per data time (import %.2f s, batch %.2f s), peak RSS %.0f MiB, peak disk %.0f MiB\n",
      a / n, x[1], y[1], (x[2] > y[2] ? x[2] : y[2]) / 1024, (ad1 > ad2 ? ad1 : ad2) / 1048576
    printf "  (b) import --convert:   %.2f s per data time, peak RSS %.0f MiB, peak disk %.0f MiB\n",
      z[1] / n, z[2] / 1024, bdd / 1048576
    printf "  (b) / (a) wall time: %.2f\n", z[1] / a
  }'
