#!/usr/bin/env bash
# Builds the converter in Release mode and converts the bundled sample data
# time (144 x 73 x 17, relative humidity missing on its two lowest levels)
# in build/sample-run, then shows the log and the files written.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install_dependencies.sh --build
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null

work=build/sample-run
rm -rf "$work"
mkdir -p "$work"
cp examples/sample/InputModelInf.txt examples/sample/adate.txt examples/sample/in.bin "$work/"
cd "$work"

echo "== log (standard output) =="
status=0
printf 'in.bin\nsample run\n' | ../release/bin/Input2ModelData || status=$?
echo "== exit status: $status =="
echo "== files in $work =="
ls -l
echo "== in.bin.ZEPwrk.gdsinfo =="
cat in.bin.ZEPwrk.gdsinfo
exit "$status"
