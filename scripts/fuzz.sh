#!/usr/bin/env bash
# Runs every fuzz target of a QUORVEL_FUZZ build for a while each, one after the other, on one
# worker. The committed seeds stay as they are: new inputs go to <build>/corpus/<target>, crashes
# and broken invariants to <build>/crashers/<target> (copy them into fuzz/crashers/<target> once
# fixed: the normal test run then replays them).
#   scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(dicom interfile idb exam options report)

declare -A max_len=([dicom]=65536 [interfile]=4096 [idb]=4096 [exam]=4096 [options]=2048 [report]=1024)
declare -A dict=([dicom]=fuzz/dicom.dict [interfile]=fuzz/interfile.dict)
status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t crashers=$build/crashers/$t log=$build/fuzz-$t.log
  mkdir -p "$corpus" "$crashers"
  args=(-max_total_time="$seconds" -max_len="${max_len[$t]}" -artifact_prefix="$crashers/" -print_final_stats=1)
  [ -n "${dict[$t]:-}" ] && args+=(-dict="${dict[$t]}")
  echo "fuzz: $t for ${seconds}s"
  if ! "$build/fuzz/fuzz_$t" "${args[@]}" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz: $t FAILED, see $log and $crashers" >&2
    status=1
  fi
  # The last status line: executions, coverage (edges) and features.
  grep -E '^#[0-9]+' "$log" | tail -1 || true
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
done
exit $status
