#!/usr/bin/env bash
# Main job on the bundled phantom: writes the digital phantom when it is missing, then loads it
# as the workstation's open command does and prints the study record next to the ground truth.
set -euo pipefail
build=${1:-build}
out=${2:-demo}
cli="$build/app/cli/quorvel-cli"
phantom_dir="$out/phantom"

if ! compgen -G "$phantom_dir/*.dcm" >/dev/null; then
  echo "== Writing the digital phantom into $phantom_dir"
  "$cli" phantom --out "$phantom_dir"
fi
file=$(compgen -G "$phantom_dir/*.dcm" | sort | head -n 1)
echo
echo "== Loading $file"
"$cli" info "$file"
truth="${file%.dcm}.json"
[ -f "$truth" ] || truth=$(compgen -G "$phantom_dir/*.json" | sort | head -n 1 || true)
if [ -n "${truth:-}" ] && [ -f "$truth" ]; then
  echo
  echo "== Ground truth: $truth"
  grep -E '"(edv_ml|esv_ml|ef_percent|es_time_ms)"' "$truth" | head -n 8 || true
fi
