#!/usr/bin/env bash
# Benchmark of the importer on an ERA5-sized data time (1440 x 721 points,
# 37 levels, 234 fields), written by make_era5_grib as GRIB1 with 16-bit
# simple packing and as GRIB2 with complex packing and spatial differencing,
# and by make_era5_netcdf as NetCDF-4 in the Data Store's newer layout
# (zlib-compressed float32, one chunk per field) and as NetCDF3 in its older
# packed layout.
#
#   bash bench/import_bench.sh [--runs N] [--quick] [FILE...]
#
# For each file: paired runs of the importer and of its floor (grib_floor:
# decode every message on one thread; netcdf_floor: read and unpack every
# field on one thread; each writing as many bytes as the importer), taking
# turns at going first, with a sync between programs; then paired runs
# against CDO converting the same file to its Fortran-record format
# (cdo -f ext -b F32 copy), the nearest thing a user would do instead. Last,
# the peak resident memory of an import of 8 data times from one GRIB1 file.
# Data are generated once and cached in build/bench-data/import. --quick: a
# 360 x 181 grid, 3 runs. FILE...: some of era5.grib1 era5.grib2
# era5_newer.nc era5_older.nc (default all).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

runs=5 ni=1440 nj=721 files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --quick) runs=3 ni=360 nj=181 ;;
    era5.grib1 | era5.grib2 | era5_newer.nc | era5_older.nc) files+=("$1") ;;
    *) echo "usage: bash bench/import_bench.sh [--runs N] [--quick] [FILE...]" >&2; exit 2 ;;
  esac
  shift
done
[ ${#files[@]} -gt 0 ] || files=(era5.grib1 era5.grib2 era5_newer.nc era5_older.nc)

# shellcheck source=SCRIPTDIR/build_release.sh
source "$PWD/bench/build_release.sh"
data="$PWD/build/bench-data/import/${ni}x${nj}"
mkdir -p "$data"
make() {  # make FILE PROGRAM ARGS...: PROGRAM OUTPUT ARGS... writes FILE once
  local file=$1 program=$2
  shift 2
  [ -f "$data/$file" ] && return
  echo "writing $data/$file ..."
  "$program" "$data/$file.part" "$@" && mv "$data/$file.part" "$data/$file"
}
make era5.grib1 "$bin/make_era5_grib" 1 --ni "$ni" --nj "$nj"
make era5.grib2 "$bin/make_era5_grib" 2 --ni "$ni" --nj "$nj"
make era5_newer.nc "$bin/make_era5_netcdf" newer --ni "$ni" --nj "$nj"
make era5_older.nc "$bin/make_era5_netcdf" older --ni "$ni" --nj "$nj"
make era5_8times.grib1 "$bin/make_era5_grib" 1 --times 8 --ni "$ni" --nj "$nj"
cd "$data"
results=$(mktemp -d)
trap 'rm -rf "$results" "$data/out" "$data/floor.out" "$data/cdo.ext"' EXIT

# shellcheck source=SCRIPTDIR/paired_runs.sh
source "$top/bench/paired_runs.sh"

rm -rf out floor.out cdo.ext && sync
for file in "${files[@]}"; do
  case $file in *.nc) floor=netcdf_floor ;; *) floor=grib_floor ;; esac
  cat "$file" > /dev/null  # the page cache holds the file for every program alike
  echo "== $file ($(stat -c %s "$file") bytes), $runs paired runs"
  for r in $(seq "$runs"); do
    if [ $((r % 2)) -eq 1 ]; then
      run "import-$file" "$bin/import_data_times" --out out "$file"
      run "floor-$file" "$bin/$floor" "$file" floor.out
    else
      run "floor-$file" "$bin/$floor" "$file" floor.out
      run "import-$file" "$bin/import_data_times" --out out "$file"
    fi
  done
  report "import-$file" "floor-$file" importer floor
  if command -v cdo > /dev/null; then
    for r in $(seq "$runs"); do
      if [ $((r % 2)) -eq 1 ]; then
        run "import2-$file" "$bin/import_data_times" --out out "$file"
        run "cdo-$file" cdo -s -f ext -b F32 copy "$file" cdo.ext
      else
        run "cdo-$file" cdo -s -f ext -b F32 copy "$file" cdo.ext
        run "import2-$file" "$bin/import_data_times" --out out "$file"
      fi
    done
    report "import2-$file" "cdo-$file" importer cdo
  fi
done

echo "== era5_8times.grib1: 8 data times from one file"
run import8 "$bin/import_data_times" --out out era5_8times.grib1
awk '{ printf "  importer wall s: %.3f   peak RSS MiB: %.1f\n", $1, $2 / 1024 }' "$results/import8"
