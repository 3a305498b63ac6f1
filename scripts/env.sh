# Shared settings of the build and test scripts; sourced, not run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
ASAN_BUILD_DIR="${ASAN_BUILD_DIR:-$ROOT/build-asan}"
TSAN_BUILD_DIR="${TSAN_BUILD_DIR:-$ROOT/build-tsan}"
export CCACHE_BASEDIR="$ROOT"
export CCACHE_NOHASHDIR=1
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# Tests pin the locale they depend on.
export LC_ALL=C.UTF-8
JOBS="${JOBS:-$(nproc)}"

configure_and_build() {  # dir, extra cmake args...
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}
