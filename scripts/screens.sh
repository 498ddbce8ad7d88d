#!/usr/bin/env bash
# A screenshot of each stage of the desktop, offscreen at 1280 x 900, on one acquisition.
# Usage: screens.sh QUORVEL FILE FOLDER
set -euo pipefail
desktop=$1 file=$2 out=$3
mkdir -p "$out"
out=$(cd "$out" && pwd)
script=$(mktemp)
# A fresh application folder: the options of an earlier run (its language) do not carry over.
home=$(mktemp -d)
trap 'rm -rf "$script" "$home"' EXIT
cat >"$script" <<SCRIPT
grab $out/0-start.png
open $file
grab $out/1-reorientation-horizontal.png
key Return
key Tab
grab $out/1-reorientation-vertical.png
key Return
key H
grab $out/1-reorientation-short-axis-help.png
key Return
expect-stage 2
scroll 30
grab $out/2-segmentation.png
command 52
expect-stage 3
move curve-left 200 200
grab $out/3-results.png
command 202
grab $out/3-results-english.png
command 201
command 53
expect-stage 22
grab $out/22-preview.png
answer yes
command 54
expect-stage 4
press results3d 256 256
release results3d 256 256
grab $out/4-results3d.png
command 49
key H
grab $out/5-options.png
key Return
expect-stage 4
SCRIPT
# The offscreen plugin's notices about window hints are noise here.
QUORVEL_HOME=$home QT_QPA_PLATFORM=offscreen "$desktop" --script "$script" >/dev/null 2> >(grep -v 'propagateSizeHints\|XDG_RUNTIME_DIR' >&2)
ls "$out"/*.png
