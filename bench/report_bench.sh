#!/usr/bin/env bash
# Benchmark of the season report: "inspect_work_file report" over a season
# of 1460 data times of 144 x 73 points and 17 levels (a year, four a day),
# and over 8 data times of 1440 x 721 points and 37 levels (ERA5's grid),
# on one thread and on two. The work files are converted once from
# make_data_time's synthetic inputs (each data time its own seed; one in a
# hundred holds a missing point, so that the page has data times that are
# not ready) and cached in build/bench-data/report (about 13 GB).
#
#   bash bench/report_bench.sh [--runs N] [--quick]
#
# --quick: 146 small data times and 2 large ones, 1 run.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=3 small=1460 large=8
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift ;;
    --quick) runs=1 small=146 large=2 ;;
    *) echo "usage: bash bench/report_bench.sh [--runs N] [--quick]" >&2; exit 2 ;;
  esac
  shift
done

# shellcheck source=SCRIPTDIR/build_release.sh
source "$PWD/bench/build_release.sh"
data="$PWD/build/bench-data/report"
results=$(mktemp -d)
trap 'rm -rf "$results" "$data/page"' EXIT

# season FOLDER COUNT IM JM LM: COUNT converted data times, 6 hours apart
# from 2023-01-01 00 UTC, named era_YYYYMMDDHH.bin.ZEPwrk.
season() {
  local folder="$data/$1" count=$2 im=$3 jm=$4 lm=$5 n
  [ -f "$folder/done" ] && [ "$(cat "$folder/done")" = "$count" ] && return
  rm -rf "$folder" && mkdir -p "$folder"
  echo "converting $count data times of $im x $jm x $lm into $folder ..."
  for n in $(seq 0 $((count - 1))); do
    local name marker=()
    name="era_$(date -u -d "2023-01-01 00:00 UTC + $((6 * n)) hours" +%Y%m%d%H).bin"
    [ $((n % 100)) -eq 37 ] && marker=(--marker tp:4:5:5)
    "$bin/make_data_time" --im "$im" --jm "$jm" --lm "$lm" --seed $((n + 1)) --dir "$folder" --name "$name" \
      "${marker[@]}" > /dev/null
    (cd "$folder" && printf '%s\nx\n' "$name" | "$bin/Input2ModelData" > /dev/null)
    rm "$folder/$name"
  done
  echo "$count" > "$folder/done"
}
season small "$small" 144 73 17
season large "$large" 1440 721 37

for s in small large; do
  files=("$data/$s"/*.ZEPwrk)
  du=$(du -sh "$data/$s" | cut -f1)
  echo "== $s: ${#files[@]} work files ($du)"
  for threads in 1 2; do
    for _ in $(seq "$runs"); do
      cat "${files[@]}" > /dev/null  # from the page cache, as after a conversion
      rm -rf "$data/page" && sync
      "$bin/measure" "$results/$s-$threads" "$bin/inspect_work_file" report "${files[@]}" --out "$data/page" \
        --threads "$threads" > /dev/null
    done
    awk -v t="$threads" '
      { w[NR] = $1; if ($2 > m) m = $2; if ($3 != 0) bad = 1 }
      END {
        if (bad) { print "the report failed in a run" > "/dev/stderr"; exit 1 }
        for (i = 1; i <= NR; i++) for (j = i + 1; j <= NR; j++) if (w[j] < w[i]) { x = w[i]; w[i] = w[j]; w[j] = x }
        printf "  %d thread%s: wall s median %.2f (of %d runs), peak RSS MiB %.1f\n", t, (t > 1 ? "s" : " "),
          w[int((NR + 1) / 2)], NR, m / 1024
      }' "$results/$s-$threads"
  done
  echo "  page: $(stat -c %s "$data/page/index.html") bytes, pictures: $(du -sh "$data/page" | cut -f1)"
done
