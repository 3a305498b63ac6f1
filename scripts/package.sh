#!/usr/bin/env bash
# Builds the Debian package: installs what is needed, builds, and runs cpack in the
# build folder. The package's library dependencies are computed by dpkg-shlibdeps.
#   bash scripts/package.sh      -> build/reportdesigner_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && cpack -G DEB)
ls -1 build/*.deb
