#!/usr/bin/env bash
# The guide's screenshots: the desktop on an X virtual frame buffer of each screen size given, laid
# out as a first start on that screen, driven through every stage on the phantom opened as DICOM,
# then opened again as IDB and as Interfile through the same open dialog.
# Usage: screens.sh BUILD FOLDER [WIDTHxHEIGHT ...]   (sizes default to 1366x768 1920x1080)
# Writes FOLDER/WIDTHxHEIGHT/*.png; ends with the desktop's status when a step fails.
set -euo pipefail
build=$1 out=$2
shift 2
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1366x768 1920x1080)
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed (scripts/install-deps.sh installs it)" >&2
  exit 77
fi
desktop=$(cd "$build" && pwd)/app/qt/quorvel
cli=$(cd "$build" && pwd)/app/cli/quorvel-cli
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cli" phantom --out "$work/data" --name phantom --formats dicom-el interfile idb >/dev/null
interfile=$(ls "$work"/data/phantom*.hdr | head -n 1)

for size in "${sizes[@]}"; do
  shots="$out/$size"
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  cat >"$work/road.script" <<SCRIPT
grab $shots/0-start.png
open $work/data/phantom_el.dcm
expect-stage 1
grab $shots/1-reorientation-horizontal.png
key Return
key Tab
grab $shots/1-reorientation-vertical.png
key Return
key H
grab $shots/1-reorientation-short-axis-help.png
key Return
expect-stage 2
grab $shots/2-segmentation.png
command 52
expect-stage 3
move curve-left 200 200
grab $shots/3-results.png
command 206
tick background
grab $shots/3-results-intervals.png
save-exam $work/earlier.qvx
compare $work/earlier.qvx
command 202
grab $shots/3-results-english.png
command 201
command 53
expect-stage 22
grab $shots/22-preview.png
answer yes
command 54
expect-stage 4
press results3d 256 256
release results3d 256 256
grab $shots/4-results3d.png
page segments
grab $shots/4-results3d-segments.png
page bullseye
command 202
grab $shots/4-results3d-english.png
command 201
command 49
key H
grab $shots/5-options.png
key Return
expect-stage 4
answer yes
open $work/data/phantom.idb
expect-stage 1
grab $shots/6-opened-idb.png
answer yes
open $interfile
expect-stage 1
grab $shots/6-opened-interfile.png
SCRIPT
  # A fresh application folder: the options and window of an earlier run do not carry over.
  rm -rf "$work/home"
  if ! QUORVEL_HOME="$work/home" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 ${size}x24" \
    "$desktop" --script "$work/road.script" --fit-screen >"$work/run.txt" 2>"$work/err.txt"; then
    echo "screens: the road failed at $size:" >&2
    cat "$work/run.txt" "$work/err.txt" >&2
    exit 1
  fi
  grep '^  ' "$work/run.txt" | sort -u || true
done
ls "$out"/*/*.png
