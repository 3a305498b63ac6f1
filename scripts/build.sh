#!/usr/bin/env bash
# Installs what is needed and builds the program and tools into build/.
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"
configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
