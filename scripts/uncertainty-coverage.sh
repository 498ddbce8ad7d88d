#!/usr/bin/env bash
# How often the reported 95 % interval of a result holds the mean result of the other noise seeds
# of the same phantom heart: the check of the uncertainty that `analyse --uncertainty` reports.
# Usage: scripts/uncertainty-coverage.sh CLI OUTDIR SEEDS HALVINGS [phantom options...]
# Prints, per result, the seeds' spread, the mean reported counting and total uncertainties and the
# coverage of the counting-only and of the total interval. SUMMARY_ONLY=1: summarise what OUTDIR holds.
set -euo pipefail
cli=$1 out=$2 seeds=$3 halvings=$4
shift 4
mkdir -p "$out"
one() {
  local seed=$1
  local dir="$out/seed$seed"
  mkdir -p "$dir"
  "$cli" phantom --out "$dir" --formats dicom-il --seed "$seed" "${@:2}" > /dev/null
  "$cli" analyse "$dir/phantom_il.dcm" --uncertainty "$halvings" > "$dir/analyse.txt" 2> "$dir/stderr.txt" || true
}
export -f one
export cli out halvings
[ -n "${SUMMARY_ONLY:-}" ] || seq 1 "$seeds" | xargs -P 2 -I{} bash -c 'one "$@"' _ {} "$@"
printf "%-9s %5s %8s %8s %8s %9s %9s\n" result seeds spread u_count u_total cov_count cov_total
cat "$out"/seed*/analyse.txt | awk '
  $1 ~ /^[GD]_(FES|volmax|volmin|TFS)$/ && $3 == "u" {
    line = $0; gsub(/[(),\[\]]/, " ", line); split(line, f, " ")
    k = f[1]; n[k]++; v[k, n[k]] = f[2]; u[k, n[k]] = f[4]; uc[k, n[k]] = f[5]; sum[k] += f[2]
  }
  END {
    for (k in n) {
      N = n[k]; mean = sum[k] / N; ss = 0; su = 0; suc = 0; cc = 0; ct = 0
      for (i = 1; i <= N; ++i) {
        ss += (v[k, i] - mean) ^ 2; su += u[k, i] ^ 2; suc += uc[k, i] ^ 2
        others = (sum[k] - v[k, i]) / (N - 1); d = v[k, i] - others; if (d < 0) d = -d
        if (d <= 1.959964 * uc[k, i]) cc++
        if (d <= 1.959964 * u[k, i]) ct++
      }
      printf "%-9s %5d %8.3f %8.3f %8.3f %8.0f%% %8.0f%%\n", k, N, sqrt(ss / (N - 1)), sqrt(suc / N), sqrt(su / N), 100 * cc / N, 100 * ct / N
    }
  }' | sort
