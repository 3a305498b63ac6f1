#!/usr/bin/env bash
# Sets up, builds and runs every test: the full build, then the headless object model
# again under AddressSanitizer and UndefinedBehaviorSanitizer, then the tests of what
# runs on the generation thread (report, page store, data) under ThreadSanitizer, and the
# fuzz targets of the stream and report file readers for a short time.
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"

configure_and_build "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# A throwaway PostgreSQL server for the database tests (they read RPT_TEST_PG_PORT),
# stopped however the run ends.
pg_env="$(bash "$ROOT/scripts/postgres.sh" start)"
eval "$pg_env"
trap 'bash "$ROOT/scripts/postgres.sh" stop "$RPT_TEST_PG_DIR"' EXIT
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$JOBS" --timeout 600

cmake -S "$ROOT" -B "$TSAN_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRPT_TSAN=ON \
  -DRPT_BUILD_BENCH=OFF >/dev/null
tsan_tests=(tests/report/report_tests tests/output/output_tests tests/output/preview_tests tests/data/data_tests)
cmake --build "$TSAN_BUILD_DIR" -j "$JOBS" --target "${tsan_tests[@]##*/}"
# Without address randomisation: some kernels place mappings where the checker cannot work.
no_aslr=(setarch "$(uname -m)" -R)
"${no_aslr[@]}" true 2>/dev/null || no_aslr=()
for test in "${tsan_tests[@]}"; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "${no_aslr[@]}" "$TSAN_BUILD_DIR/$test" --gtest_brief=1
done

# The readers of streams and report files under libFuzzer, 20 s each on their seeds.
bash "$ROOT/scripts/fuzz.sh" 20

configure_and_build "$ASAN_BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DRPT_SANITIZE=ON -DRPT_OBJECTS_ONLY=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$ASAN_BUILD_DIR" --output-on-failure -j "$JOBS" --timeout 900
