#!/usr/bin/env bash
# The layers of src/ hold: every file includes only headers of its own
# layer or of a layer its library links (as src/CMakeLists.txt declares
# them), and the libraries of file formats and pictures are included only
# where they belong (no ecCodes, netCDF-C or libarchive outside the
# importer; no cairo or libpng outside the inspector).
#
#   layers_test.sh REPO
set -euo pipefail
repo=$1
src=$repo/src

# What each layer may include: itself and the layers its library links,
# directly or through another.
declare -A allowed=(
  [common]="common"
  [format]="common format"
  [thermo]="common thermo"
  [regrid]="common thermo regrid"
  [convert]="common format thermo convert"
  [import]="common format thermo regrid convert import"
  [inspect]="common format inspect"
)

# The layer of each source file, from the add_layer() lists of the build.
declare -A layer_of
layer=""
while IFS= read -r line; do
  if [[ $line =~ ^add_layer\(i2m_([a-z]+) ]]; then
    layer=${BASH_REMATCH[1]}
  elif [[ $line =~ ^\) ]]; then
    layer=""
  elif [ -n "$layer" ] && [[ $line =~ ^[[:space:]]+([a-z_]+/[a-z0-9_]+)\.cc ]]; then
    layer_of[${BASH_REMATCH[1]}]=$layer
  fi
done < "$src/CMakeLists.txt"
# The programs' main files sit on their library's layer; headers without a
# source file of their own are placed by what they state.
layer_of[driver/main]=convert
layer_of[import/main]=import
layer_of[inspect/main]=inspect
for header in common/byte_order common/thread_scratch common/constants common/sanitizer; do
  layer_of[$header]=common
done
layer_of[input/record_layout]=format
layer_of[control/standard_levels]=format

failures=0 files=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cd "$src"
for file in */*.cc */*.h; do
  files=$((files + 1))
  stem=${file%.*}
  own=${layer_of[$stem]:-}
  if [ -z "$own" ]; then
    fail "$file: in no layer of src/CMakeLists.txt"
    continue
  fi
  while IFS= read -r included; do
    target=${layer_of[${included%.h}]:-}
    if [ -z "$target" ]; then
      fail "$file includes $included, which is in no layer"
    elif [[ " ${allowed[$own]} " != *" $target "* ]]; then
      fail "$file ($own) includes $included ($target), a layer it may not use"
    fi
  done < <(sed -n 's/^#include "\([a-z_]*\/[a-z0-9_]*\.h\)".*/\1/p' "$file")
  while IFS= read -r library; do
    case "$library" in
      eccodes.h | netcdf.h | netcdf_mem.h | archive.h | archive_entry.h) want=import ;;
      cairo*.h | png.h | fontconfig/*) want=inspect ;;
      *) continue ;;
    esac
    [ "$own" = "$want" ] || fail "$file ($own) includes <$library>, which belongs to the $want layer alone"
  done < <(sed -n 's/^#include <\([^>]*\)>.*/\1/p' "$file")
done

if [ "$failures" -gt 0 ]; then
  echo "layers_test: $failures includes break the layers"
  exit 1
fi
echo "layers_test: every include of $files files stays within its layer"
