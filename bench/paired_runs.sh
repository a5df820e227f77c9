# shellcheck shell=bash disable=SC2154  # bin and results are the sourcing script's
# Sourced by the benchmark scripts: paired runs of two programs, measured by
# bench/measure, and their medians. The sourcing script sets bin (the
# programs' folder) and results (a folder for the measurements), and runs in
# the folder of the data, where each run's outputs (out, floor.out,
# cdo.ext) are removed after it.

run() {  # NAME COMMAND...: one measured run, then its output removed and flushed
  local name=$1
  shift
  "$bin/measure" "$results/$name" "$@" > /dev/null
  rm -rf out floor.out cdo.ext && sync
}

# Medians of the paired runs of A and B: wall times, ratio A/B, peak RSS.
report() {  # A B LABEL_A LABEL_B
  awk -v la="$3" -v lb="$4" '
    FNR == 1 { file++ }
    file == 1 { aw[FNR] = $1; am[FNR] = $2; if ($3 != 0) bad = la }
    file == 2 { bw[FNR] = $1; bm[FNR] = $2; if ($3 != 0) bad = lb; n = FNR }
    function median(a, k,   i, j, t, b) {
      for (i = 1; i <= k; i++) b[i] = a[i]
      for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (b[j] < b[i]) { t = b[i]; b[i] = b[j]; b[j] = t }
      return k % 2 ? b[(k + 1) / 2] : (b[k / 2] + b[k / 2 + 1]) / 2
    }
    END {
      if (bad != "") { print bad " failed in a run" > "/dev/stderr"; exit 1 }
      for (i = 1; i <= n; i++) r[i] = aw[i] / bw[i]
      printf "  %-10s wall s: median %.3f   peak RSS MiB: %.1f\n", la, median(aw, n), median(am, n) / 1024
      printf "  %-10s wall s: median %.3f   peak RSS MiB: %.1f\n", lb, median(bw, n), median(bm, n) / 1024
      printf "  ratio %s/%s per pair: median %.3f (", la, lb, median(r, n)
      for (i = 1; i <= n; i++) printf "%s%.2f", (i > 1 ? " " : ""), r[i]
      printf ")\n"
    }' "$results/$1" "$results/$2"
}

