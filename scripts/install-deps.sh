#!/usr/bin/env bash
# Installs the Debian packages Quorvel needs, only those that are missing. Idempotent.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libjpeg-dev libpng-dev
  dcmtk libdcmtk-dev orthanc curl openssl medcon dicom3tools
  qt6-base-dev qt6-translations-l10n xvfb xauth
  clang-14 libclang-rt-14-dev
)
# clang-14 and libclang-rt-14-dev (the libFuzzer and sanitizer runtimes) serve make fuzz and
# make check-sanitize.

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "install-deps: these packages are missing and this is not root: ${missing[*]}" >&2
    echo "install-deps: run 'apt-get install ${missing[*]}' as root, then try again" >&2
    exit 1
  fi
else
  SUDO=
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
