#!/usr/bin/env bash
# quorvel --script on an X virtual frame buffer. Usage: xvfb_smoke.sh QUORVEL SCRIPT FOLDER
set -euo pipefail
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed (scripts/install-deps.sh installs it): skipped"
  exit 77
fi
quorvel=$1 script=$2 folder=$3
cd "$folder"
rm -f xvfb_results.png
export QUORVEL_HOME="$folder/home" QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x1024x24" "$quorvel" --script "$script"
test -s xvfb_results.png
