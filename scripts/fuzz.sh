#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60) on its seed corpus: the seeds in
# fuzz/corpus and the examples, plus what earlier runs found (kept in build-fuzz/corpus).
# A crash, a timeout (5 s) or more than 512 MB fails the run and leaves the input in
# build-fuzz/crashes. Only the targets and what they link are built (clang, with the
# toolkit for the readers that need it).   bash scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
source "$(dirname "$0")/env.sh"
seconds=${1:-60}
shift || true
dir="$ROOT/build-fuzz"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRPT_FUZZ=ON \
  -DRPT_OBJECTS_ONLY=OFF -DRPT_BUILD_BENCH=OFF >/dev/null
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_stream_dump fuzz_stream_build fuzz_report_file fuzz_component_stream
  fuzz_page_list fuzz_page_coder fuzz_metafile_player fuzz_pdf_page fuzz_expression fuzz_alias_file)
cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"

seeds_of() {
  case "$1" in
    fuzz_stream_dump | fuzz_report_file) ls "$ROOT"/examples/*.rpt ;;
    fuzz_stream_build) ls "$ROOT"/examples/*.txt "$ROOT"/tests/tools/handmade_report.txt ;;
  esac
  # A PDF page is played from the pages the player takes.
  [ "$1" = fuzz_pdf_page ] && find "$ROOT/fuzz/corpus/fuzz_metafile_player" -type f
  [ -d "$ROOT/fuzz/corpus/$1" ] && find "$ROOT/fuzz/corpus/$1" -type f
  return 0
}

mkdir -p "$dir/crashes"
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  seeds="$dir/seeds/$target"
  mkdir -p "$corpus" && rm -rf "$seeds" && mkdir -p "$seeds"
  seeds_of "$target" | while read -r f; do cp "$f" "$seeds/"; done
  dictionary=()
  [ -f "$ROOT/fuzz/$target.dict" ] && dictionary=(-dict="$ROOT/fuzz/$target.dict")
  [ "$target" = fuzz_pdf_page ] && dictionary=(-dict="$ROOT/fuzz/fuzz_metafile_player.dict")
  echo "== $target: $seconds s"
  log="$dir/$target.log"
  status=0
  ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0" \
    "$dir/fuzz/$target" "${dictionary[@]}" -max_total_time="$seconds" -rss_limit_mb=512 \
    -timeout=5 -print_final_stats=1 -artifact_prefix="$dir/crashes/$target-" "$corpus" "$seeds" >"$log" 2>&1 ||
    status=$?
  grep -E "DONE|stat::number_of_executed_units|stat::peak_rss_mb" "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -40 "$log" >&2
    echo "fuzz: $target failed (status $status); its input is in $dir/crashes" >&2
    exit 1
  fi
done
