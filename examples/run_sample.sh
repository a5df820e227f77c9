#!/usr/bin/env bash
# The whole road on real data: builds the programs in Release mode, imports
# the bundled GFS sample (examples/gfs, a subset of Debian's GFS 2.5-degree
# file) into build/sample-run, converts the data time it holds, and shows
# the importer's summary, the converter's log, the files written, the
# inspector's verdict on the work file and a picture of its 850 hPa
# temperature.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_dependencies.sh --build
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null
bin="$PWD/build/release/bin"

work=build/sample-run
rm -rf "$work"
mkdir -p "$work"

echo "== import_data_times (standard output) =="
"$bin/import_data_times" --out "$work" examples/gfs/gfs_2p5deg_subset.grib2
cd "$work"
echo "== InputModelInf.txt =="
cat InputModelInf.txt

echo "== Input2ModelData log (standard output) =="
status=0
printf 'gfs_2011011512.bin\nsample run\n' | "$bin/Input2ModelData" || status=$?
echo "== exit status: $status =="
echo "== files in $work =="
ls -l
echo "== inspect_work_file gfs_2011011512.bin.ZEPwrk summary =="
"$bin/inspect_work_file" gfs_2011011512.bin.ZEPwrk summary || true
echo "== inspect_work_file gfs_2011011512.bin.ZEPwrk png t:850 =="
"$bin/inspect_work_file" gfs_2011011512.bin.ZEPwrk png t:850 || true
exit "$status"
