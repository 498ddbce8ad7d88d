#!/usr/bin/env bash
# Main job on the bundled phantom: writes the digital phantom when it is missing, then analyses it
# as a physician would (re-orientation, segmentation, volume curves) and prints both ventricles'
# results next to the phantom's ground truth. With a display the desktop then opens on the
# phantom; without one, the desktop on a virtual screen writes a screenshot of each stage into
# screens/1366x768.
set -euo pipefail
build=${1:-build}
out=${2:-demo}
cli="$build/app/cli/quorvel-cli"
desktop="$build/app/qt/quorvel"
phantom_dir="$out/phantom"

if ! compgen -G "$phantom_dir/*.dcm" >/dev/null; then
  echo "== Writing the digital phantom into $phantom_dir"
  "$cli" phantom --out "$phantom_dir"
fi
file=$(compgen -G "$phantom_dir/*.dcm" | sort | head -n 1)
echo
echo "== Analysing $file"
"$cli" analyse "$file" --json "$out/results.json"
echo
echo "== The same in French"
"$cli" analyse "$file" --lang fr 2>/dev/null | head -n 10
truth="$phantom_dir/$(basename "${file%%_*}").truth.json"
[ -f "$truth" ] || truth=$(compgen -G "$phantom_dir/*.truth.json" | sort | head -n 1 || true)
if [ -n "${truth:-}" ] && [ -f "$truth" ]; then
  echo
  echo "== Ground truth ($truth)"
  for ventricle in left_ventricle right_ventricle; do
    echo "$ventricle:"
    # The truth file is written one key per line; print the scalar results of this ventricle.
    sed -n "/^  \"$ventricle\": {/,/^  }/p" "$truth" |
      grep -E '"(edv_ml|esv_ml|stroke_volume_ml|ejection_fraction_percent|end_systole_ms|cardiac_output_l_per_min|peak_ejection_rate_edv_per_s|peak_filling_rate_edv_per_s)"' |
      sed 's/^ */  /; s/,$//'
  done
fi
echo
echo "Results and curves as JSON: $out/results.json"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$desktop" ]; then
  echo
  echo "== Starting the desktop on $file"
  exec "$desktop" "$file"
fi
if [ -x "$desktop" ]; then
  echo
  echo "== Screenshots of the desktop on a virtual 1366 x 768 screen into $out/screens"
  status=0
  "$(dirname "$0")/screens.sh" "$build" "$out/screens" 1366x768 || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ]  # 77: no virtual frame buffer here, no screenshots
fi
