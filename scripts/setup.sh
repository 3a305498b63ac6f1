#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent; run as root (or through sudo) on Debian 12.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql
  fonts-liberation fonts-dejavu-core
  xvfb xauth poppler-utils sqlite3 libsqlite3-dev libpq-dev postgresql
  cups printer-driver-cups-pdf
  libxlsxwriter-dev python3-openpyxl
  pybind11-dev python3-dev python3-pytest
  help2man desktop-file-utils shared-mime-info libglib2.0-bin man-db file
  clang libclang-rt-14-dev
  libzint-dev qt6-svg-dev zbar-tools dmtx-utils zxing-cpp-tools
  libfontconfig-dev libfreetype-dev zlib1g-dev qpdf time bc parallel
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq || true
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
