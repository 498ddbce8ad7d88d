#!/usr/bin/env bash
# Main job on bundled data: writes a gated acquisition and prints its study record.
set -euo pipefail
build=${1:-build}
out=${2:-demo}
cli="$build/app/cli/quorvel-cli"
mkdir -p "$out"
"$cli" sample --out "$out/sample.dcm"
"$cli" info "$out/sample.dcm"
