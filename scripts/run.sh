#!/usr/bin/env bash
# Sets up, builds and starts the program. Until the designer window exists, the program
# is the command-line tool: with no arguments it prints its help.
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/build.sh"
exec "$BUILD_DIR/tools/rpttool/rpttool" "${@:---help}"
