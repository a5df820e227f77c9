#!/usr/bin/env bash
# Benchmark of the importer's horizontal interpolation: the ERA5-sized data
# time (234 fields, GRIB 2, 16-bit simple packing) on ERA5's reduced
# Gaussian N320 grid imported onto the 0.25-degree grid (--grid 0.25),
# against the import of the same data time given on the 0.25-degree grid,
# and against CDO's closest road to the same grid (setgridtype,regular then
# remapbil,r1440x721, written as 32-bit floats).
#
#   bash bench/grid_bench.sh [--runs N] [--o1280]
#
# Paired runs, taking turns at going first, with a sync between programs.
# Data are generated once and cached in build/bench-data/grids. --o1280
# adds IFS's octahedral O1280 grid (6.6 million points; its file alone is
# 3 GB).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

runs=5 grids=(n320)
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --o1280) grids+=(o1280) ;;
    *) echo "usage: bash bench/grid_bench.sh [--runs N] [--o1280]" >&2; exit 2 ;;
  esac
  shift
done

# shellcheck source=SCRIPTDIR/build_release.sh
source "$PWD/bench/build_release.sh"
data="$PWD/build/bench-data/grids"
mkdir -p "$data"
for grid in ll0.25 "${grids[@]}"; do
  if [ ! -f "$data/$grid.grib" ]; then
    echo "writing $data/$grid.grib ..."
    "$bin/make_grid_grib" "$data/$grid.grib.part" "$grid" && mv "$data/$grid.grib.part" "$data/$grid.grib"
  fi
done
cd "$data"
results=$(mktemp -d)
trap 'rm -rf "$results" "$data/out" "$data/cdo.ext"' EXIT
# shellcheck source=SCRIPTDIR/paired_runs.sh
source "$top/bench/paired_runs.sh"

paired() {  # NAME_A NAME_B -- COMMAND_A -- COMMAND_B
  local a=$1 b=$2 r
  shift 3
  local -a first=() second=()
  while [ "$1" != "--" ]; do first+=("$1"); shift; done
  shift
  second=("$@")
  for r in $(seq "$runs"); do
    if [ $((r % 2)) -eq 1 ]; then
      run "$a" "${first[@]}"
      run "$b" "${second[@]}"
    else
      run "$b" "${second[@]}"
      run "$a" "${first[@]}"
    fi
  done
}

rm -rf out cdo.ext && sync
for grid in "${grids[@]}"; do
  cat "$grid.grib" ll0.25.grib > /dev/null  # the page cache holds both files alike
  echo "== $grid.grib onto 0.25 degrees ($(stat -c %s "$grid.grib") bytes), $runs paired runs"
  paired "regrid-$grid" "regular-$grid" -- "$bin/import_data_times" --grid 0.25 --out out "$grid.grib" \
    -- "$bin/import_data_times" --out out ll0.25.grib
  report "regrid-$grid" "regular-$grid" "--grid" "0.25-given"
  if command -v cdo > /dev/null; then
    paired "regrid2-$grid" "cdo-$grid" -- "$bin/import_data_times" --grid 0.25 --out out "$grid.grib" \
      -- cdo -s -f ext -b F32 remapbil,r1440x721 -setgridtype,regular "$grid.grib" cdo.ext
    report "regrid2-$grid" "cdo-$grid" importer cdo
  fi
done
