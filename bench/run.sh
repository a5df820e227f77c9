#!/usr/bin/env bash
# Benchmark of the converter against the floor program (the least any
# converter must do: read the input whole, write the work file's bytes).
#
#   bash bench/run.sh [--quick] [--runs N] [--memory aged|fresh]
#
# --memory aged (the default) runs on memory as a season leaves it: the
# page cache full (a filler file of the machine's memory size, written
# once to build/bench-data and read before the runs), free memory scarce
# and fragmented. --memory fresh (root only) gives the page cache back and
# compacts free memory before each pair of runs.
# Default size 1440 x 721 x 37 (a 972 MB input, an 818 MB work file);
# --quick uses 360 x 181 x 26. The data time is generated once and cached in
# build/bench-data. Each run pairs one floor run with one converter run and
# reports wall time and peak resident memory, the converter/floor ratio per
# pair and the medians; then the converter's phases and the micro-benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."

im=1440 jm=721 lm=37 runs=5 memory=aged
usage="usage: bash bench/run.sh [--quick] [--runs N] [--memory aged|fresh]"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) im=360 jm=181 lm=26 ;;
    --runs) runs="$2"; shift ;;
    --memory) memory="$2"; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
case "$memory" in
  aged) ;;
  fresh)
    if [ ! -w /proc/sys/vm/drop_caches ]; then
      echo "bench/run.sh: --memory fresh needs root (it writes /proc/sys/vm/drop_caches)" >&2
      exit 2
    fi ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

# shellcheck source=SCRIPTDIR/build_release.sh
source "$PWD/bench/build_release.sh"

data="$PWD/build/bench-data/${im}x${jm}x${lm}"
if [ ! -f "$data/in.bin" ]; then
  echo "writing the ${im} x ${jm} x ${lm} data time to $data ..."
  mkdir -p "$data"
  "$bin/make_data_time" --im "$im" --jm "$jm" --lm "$lm" --seed 1 --dir "$data"
fi
cd "$data"
results=$(mktemp -d)
trap 'rm -rf "$results"; rm -f "$data/floor.out" "$data/in.bin.ZEPwrk" "$data/in.bin.ZEPwrk.gdsinfo"' EXIT

arrays=$(( (7 * lm + 12) * 4 * im * jm ))
echo "memory: $memory; grid ${im} x ${jm} x ${lm}: input $(stat -c %s in.bin) bytes, arrays of one run ${arrays} bytes"
if [ "$memory" = aged ]; then
  # Memory as hours of a season leave it: reading a file as large as the
  # machine's memory fills the page cache, and what the runs allocate must
  # come from what reclaim frees among its pages.
  filler="$PWD/../page-cache-filler"
  memory_kib=$(awk '/^MemTotal:/ { print $2 }' /proc/meminfo)
  if [ ! -f "$filler" ] || [ "$(stat -c %s "$filler")" -lt $((memory_kib * 1024)) ]; then
    echo "writing a page-cache filler of $((memory_kib / 1024)) MiB to $filler ..."
    head -c $((memory_kib * 1024)) /dev/zero > "$filler"
  fi
  cat "$filler" > /dev/null
fi
give_back_memory() {
  # Fresh memory: nothing cached but the input, free memory compacted.
  if [ "$memory" = fresh ]; then
    sync
    echo 3 > /proc/sys/vm/drop_caches
    echo 1 > /proc/sys/vm/compact_memory
  fi
  cat in.bin > /dev/null  # warm the page cache for both programs alike
}
give_back_memory
run_floor() {
  "$bin/measure" "$results/floor" "$bin/floor" in.bin floor.out "$im" "$jm" "$lm"
  rm -f floor.out && sync
}
run_converter() {
  printf 'in.bin\nbench\n' | "$bin/measure" "$results/converter" "$bin/Input2ModelData" > /dev/null
  rm -f in.bin.ZEPwrk && sync
}
# Each program starts with no dirty pages of the other waiting to be written
# back (sync), and the two take turns at going first, so that what one run
# leaves behind in the machine falls on both alike.
rm -f floor.out in.bin.ZEPwrk && sync
for r in $(seq "$runs"); do
  give_back_memory
  if [ $((r % 2)) -eq 1 ]; then run_floor; run_converter; else run_converter; run_floor; fi
done

awk -v arrays="$arrays" '
  FNR == 1 { file++ }
  file == 1 { fw[FNR] = $1; fm[FNR] = $2 }
  file == 2 { cw[FNR] = $1; cm[FNR] = $2; if ($3 != 0) bad = 1; n = FNR }
  function median(a, k,   i, j, t, b) {
    for (i = 1; i <= k; i++) b[i] = a[i]
    for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (b[j] < b[i]) { t = b[i]; b[i] = b[j]; b[j] = t }
    return k % 2 ? b[(k + 1) / 2] : (b[k / 2] + b[k / 2 + 1]) / 2
  }
  function minimum(a, k,   i, m) { m = a[1]; for (i = 2; i <= k; i++) if (a[i] < m) m = a[i]; return m }
  function maximum(a, k,   i, m) { m = a[1]; for (i = 2; i <= k; i++) if (a[i] > m) m = a[i]; return m }
  END {
    if (bad) { print "the converter failed in a run" > "/dev/stderr"; exit 1 }
    printf "%-4s %12s %12s %8s %14s %14s\n", "run", "floor s", "converter s", "ratio", "floor RSS MiB", "conv RSS MiB"
    for (i = 1; i <= n; i++) {
      ratio[i] = cw[i] / fw[i]
      printf "%-4d %12.3f %12.3f %8.3f %14.1f %14.1f\n", i, fw[i], cw[i], ratio[i], fm[i] / 1024, cm[i] / 1024
    }
    printf "floor     wall s: median %.3f  min %.3f  max %.3f\n", median(fw, n), minimum(fw, n), maximum(fw, n)
    printf "converter wall s: median %.3f  min %.3f  max %.3f\n", median(cw, n), minimum(cw, n), maximum(cw, n)
    printf "ratio converter/floor: median %.3f\n", median(ratio, n)
    printf "converter peak RSS MiB: median %.1f  min %.1f  max %.1f  (%.3f x the arrays)\n",
           median(cm, n) / 1024, minimum(cm, n) / 1024, maximum(cm, n) / 1024, median(cm, n) * 1024 / arrays
  }' "$results/floor" "$results/converter"

echo
echo "phases of one conversion:"
# The phases' times come on standard error; the log is not wanted.
{ "$bin/phase_timing" "$data/in.bin" > /dev/null; } 2>&1
echo
"$bin/phase_bench" --benchmark_min_time=0.2 2>/dev/null | grep -E '^(BM_|Benchmark|-)' || true
