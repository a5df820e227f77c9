#!/usr/bin/env bash
# Installs, through apt-get, the Debian packages that this project needs and
# that the machine does not have yet. Does nothing when everything is there.
#
#   install_dependencies.sh           what building and the whole test suite need
#   install_dependencies.sh --build   only what building needs
set -euo pipefail

# ecCodes reads GRIB, netCDF-C reads NetCDF and libarchive unpacks zip,
# gzip, bzip2 and xz for the importer; CLI11 parses the command lines; cairo
# draws the inspector's pictures, with the DejaVu fonts for their text, and
# libpng writes them.
packages=(g++ cmake make libgtest-dev libbenchmark-dev libpng-dev libeccodes-dev libnetcdf-dev libarchive-dev
  libcli11-dev libcairo2-dev fonts-dejavu-core)
if [ "${1:-}" != "--build" ]; then
  # gfortran cross-checks the log's number layout, setpriv (util-linux) runs
  # a test as an unprivileged user, parallel drives the batch script, cdo
  # reads the GrADS descriptor back, valgrind checks a run's memory use, and
  # clang with its runtime builds the sanitizer suite and the fuzz targets.
  # ecCodes' tools (grib_get_data, grib_set) and Debian's GFS sample
  # (python-grib-doc) check the importer on real data; Slurm and munge run
  # a private single-node cluster for the Slurm scripts' test. tesseract
  # reads the pictures' text back, and chromium loads the season report
  # as a user's browser would. ncdump (netcdf-bin) prints the real NetCDF
  # files' values for the importer's tests; shellcheck checks the scripts.
  # zip, unzip, bzip2 and xz-utils pack the archives the importer unpacks.
  packages+=(gfortran util-linux parallel cdo valgrind clang-14 libclang-rt-14-dev libeccodes-tools python-grib-doc
    slurm-wlm munge tesseract-ocr tesseract-ocr-eng chromium netcdf-bin shellcheck zip unzip bzip2 xz-utils)
fi

missing=()
for p in "${packages[@]}"; do
  # A removed package can leave its configuration, and dpkg -s still answers.
  dpkg-query -W -f='${Status}' "$p" 2> /dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root, or: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
