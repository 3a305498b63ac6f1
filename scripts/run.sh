#!/usr/bin/env bash
# Sets up, builds and starts the program (reportdesigner). Arguments are passed on to it
# (the toolkit's own options, e.g. -platform offscreen).
set -euo pipefail
own_platform="${QT_QPA_PLATFORM-}"
source "$(dirname "$0")/env.sh"
# The shared settings default to the headless platform for tests; on a desktop the
# program opens its windows on the display.
if [ -z "$own_platform" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  unset QT_QPA_PLATFORM
fi
bash "$ROOT/scripts/build.sh"
exec "$BUILD_DIR/app/reportdesigner" "$@"
