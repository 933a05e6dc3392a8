#!/usr/bin/env bash
# Installs every Debian package that building, testing, fuzzing and benchmarking Kelvora needs.
# Does nothing when they are all present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ninja-build clang-format
  qt6-base-dev libgl-dev libgsf-1-dev libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick
  python3 python3-olefile python3-xlrd python3-xlwt python3-ezdxf
  libreoffice-calc-nogui libxlsxwriter-dev
  libapache-poi-java default-jre-headless libfreexl-dev gnumeric python3-openpyxl
  dpkg-dev file desktop-file-utils
  g++-mingw-w64-x86-64-posix wine64
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
