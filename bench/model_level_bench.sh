#!/usr/bin/env bash
# Benchmark of the importer on a data time on ECMWF's 137 model levels
# (make_model_level_grib: t, q, u, v, lnsp and z, GRIB 2, 16-bit simple
# packing, 550 messages), interpolated to ERA5's 37 pressure levels.
#
#   bash bench/model_level_bench.sh [--runs N] [--quick]
#
# Paired runs, taking turns at going first, of the import and of the
# decoding floor (grib_floor: decode every message on one thread and write
# as many bytes as it decodes); then the peak resident memory of the import
# against the size of the record file it writes, and of an import of a
# regional --area. Data are generated once and cached in
# build/bench-data/model_levels. --quick: a 360 x 181 grid, 3 runs.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

runs=5 ni=1440 nj=721
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --quick) runs=3 ni=360 nj=181 ;;
    *) echo "usage: bash bench/model_level_bench.sh [--runs N] [--quick]" >&2; exit 2 ;;
  esac
  shift
done

# shellcheck source=SCRIPTDIR/build_release.sh
source "$PWD/bench/build_release.sh"
data="$PWD/build/bench-data/model_levels/${ni}x${nj}"
mkdir -p "$data"
if [ ! -f "$data/ml.grib" ]; then
  echo "writing $data/ml.grib ..."
  "$bin/make_model_level_grib" "$data/ml.grib.part" --ni "$ni" --nj "$nj" && mv "$data/ml.grib.part" "$data/ml.grib"
fi
cd "$data"
results=$(mktemp -d)
trap 'rm -rf "$results" "$data/out" "$data/floor.out"' EXIT
# shellcheck source=SCRIPTDIR/paired_runs.sh
source "$top/bench/paired_runs.sh"

import=("$bin/import_data_times" --allow-missing-surface --out out ml.grib)
rm -rf out floor.out && sync
cat ml.grib > /dev/null  # the page cache holds the file for both programs alike
echo "== ml.grib ($(stat -c %s ml.grib) bytes), $runs paired runs"
for r in $(seq "$runs"); do
  if [ $((r % 2)) -eq 1 ]; then
    run import "${import[@]}"
    run floor "$bin/grib_floor" ml.grib floor.out
  else
    run floor "$bin/grib_floor" ml.grib floor.out
    run import "${import[@]}"
  fi
done
report import floor importer floor

"${import[@]}" > /dev/null
bin_bytes=$(stat -c %s out/*.bin)
rm -rf out && sync
rss=$(cut -d' ' -f2 "$results/import" | sort -n | awk '{ r[NR] = $1 } END { print r[int((NR + 1) / 2)] }')
awk -v r="$rss" -v b="$bin_bytes" 'BEGIN {
  printf "  peak RSS of the import (median): %.1f MiB, %.2f x the record file (%.1f MiB)\n", r / 1024, r * 1024 / b, b / 1048576 }'
run area "$bin/import_data_times" --allow-missing-surface --out out --area 72/-25/25/45 ml.grib
awk '{ printf "  peak RSS of an import of --area 72/-25/25/45: %.1f MiB\n", $2 / 1024 }' "$results/area"
