#!/usr/bin/env bash
# Fuzzes the converter's readers with libFuzzer: builds the sanitizer preset
# (clang, AddressSanitizer, UndefinedBehaviorSanitizer, coverage), writes
# the seed corpora, then runs each target for the given time, two at a time.
# The corpus grows across runs in build/sanitize/fuzz/corpus/<target>;
# findings land in build/sanitize/fuzz/findings/<target>/ and the libFuzzer
# output in build/sanitize/fuzz/logs/<target>.log.
#
#   tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# Default: 600 seconds each for every target. Exit 1 when any target found
# something in the project's code. A finding is replayed with:
# build/sanitize/bin/<target> FILE
#
# The importer's target runs in libFuzzer's fork mode and goes on after a
# crash: ecCodes, netCDF-C and HDF5 themselves crash on some damaged files
# (which the importer turns into exit status 2 and a diagnostic). Each
# finding is replayed and counted as the library's when the first frame of
# its report that is not the sanitizer's or the C library's lies in one of
# them.
set -euo pipefail
cd "$(dirname "$0")/.." || exit 2

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(control_files_fuzzer date_file_fuzzer input_records_fuzzer whole_run_fuzzer import_fuzzer)
case $seconds in '' | *[!0-9]*) echo "fuzz.sh: SECONDS_PER_TARGET must be a whole number" >&2; exit 2 ;; esac

bash tools/install_dependencies.sh || exit 2
{ cmake --preset sanitize && cmake --build --preset sanitize; } > /dev/null || {
  echo "fuzz.sh: the sanitizer build failed (cmake --build --preset sanitize shows why)" >&2
  exit 2
}

# Absolute: the targets work in scratch directories of their own.
fuzz=$PWD/build/sanitize/fuzz
bash tests/fuzz/make_seeds.sh build/sanitize/bin/make_data_time "$fuzz/seeds" > /dev/null || exit 2
rm -rf "$fuzz/seeds/import_fuzzer" && mkdir -p "$fuzz/seeds/import_fuzzer" &&
  build/sanitize/bin/make_import_seeds examples/gfs/gfs_2p5deg_subset.grib2 "$fuzz/seeds/import_fuzzer" \
    tests/data/realdata/reduced_gg.grib tests/data/realdata/regular_gg_pl.grib 2> /dev/null || exit 2
mkdir -p "$fuzz/logs"

run_target() {  # run_target NAME
  local name=$1
  local inputs=("$fuzz/corpus/$name" "$fuzz/seeds/$name")
  if [ -d "tests/fuzz/regressions/$name" ]; then inputs+=("$PWD/tests/fuzz/regressions/$name"); fi
  local options=(-max_len=8192)
  case $name in
    input_records_fuzzer | whole_run_fuzzer) options+=(-dict="$PWD/tests/fuzz/records.dict") ;;
    # GRIB messages of real files are kilobytes.
    import_fuzzer) options=(-max_len=65536 -fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1) ;;
  esac
  mkdir -p "$fuzz/corpus/$name" "$fuzz/findings/$name"
  # A finding ends the target with a failure: the summary below counts it.
  "$PWD/build/sanitize/bin/$name" "${inputs[@]}" "${options[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$fuzz/findings/$name/" > "$fuzz/logs/$name.log" 2>&1 || true
}

# Where a finding's crash lies, replayed on its own: "library" when the
# first frame of the report that is not the sanitizer's, libFuzzer's or the
# C library's lies in ecCodes, netCDF-C or HDF5 (for memory running out:
# when a live allocation was theirs); "gone" when the replay runs clean (a
# library's state left behind by earlier inputs); else "project".
classify() {  # classify TARGET FILE
  local report first
  report=$(timeout 300 "$PWD/build/sanitize/bin/$1" -timeout=10 -rss_limit_mb=2048 "$2" 2>&1) && { echo gone; return; }
  # Running out of memory, the report lists the largest live allocations.
  if grep -q 'out-of-memory' <<< "$report" && grep -qE 'libeccodes|libnetcdf|libhdf5' <<< "$report"; then
    echo library
    return
  fi
  first=$(grep -E '^ +#[0-9]+ ' <<< "$report" |
    grep -vE '__interceptor_|__sanitizer|__asan|fuzzer::| in (malloc|calloc|realloc|free) |libc\.so|libclang_rt|/nptl/|/stdlib/|/signal/' |
    head -n 1)
  if [[ $first == *libeccodes* || $first == *libnetcdf* || $first == *libhdf5* ]]; then echo library; else echo project; fi
}

# One line per target: executions, coverage and features reached, inputs
# in the reduced corpus, findings in the project's code (those in the file
# libraries, and those that do not happen again, counted apart).
summarise() {  # summarise NAME
  local name=$1 log=$fuzz/logs/$1.log
  local runs cov ft corpus project=0 library=0 gone=0
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#' || true)  # fork mode
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  corpus=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | cut -d' ' -f2 || true)
  for f in "$fuzz/findings/$name"/*; do
    [ -f "$f" ] || continue
    case $(classify "$name" "$f") in
      library) library=$((library + 1)) ;;
      gone) gone=$((gone + 1)) ;;
      *) project=$((project + 1)) ;;
    esac
  done
  printf '%-22s %10s runs  cov %5s  ft %6s  corpus %5s  findings %s  (in the file libraries: %s, not again: %s)\n' \
    "$name" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$project" "$library" "$gone"
  [ "$project" -eq 0 ]
}

echo "fuzzing ${#targets[@]} targets for $seconds s each, two at a time"
pids=()
for name in "${targets[@]}"; do
  if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}" || true; pids=("${pids[@]:1}"); fi
  run_target "$name" &
  pids+=($!)
done
wait || true

status=0
for name in "${targets[@]}"; do summarise "$name" || status=1; done
exit "$status"
