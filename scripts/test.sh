#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole program built once under
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-asan; build/ stays the
# normal build the program runs from) with all its tests, the GUI tests offscreen; then
# the tests of what runs on the generation thread (report, page store, data, and the
# library's renders on several threads at once) under
# ThreadSanitizer, and every fuzz target for a short time.
set -euo pipefail
source "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"

# A finding stops the process that made it, with its stack. Leaks are ours to mend; the
# suppressions name only what the toolkit and the font libraries keep until exit. Set
# before the build, which runs the test programs to list their tests.
# intercept_tls_get_addr=0: this clang's leak checker misreads the dynamic thread-local
# blocks of libraries loaded at run time with Debian 12's C library, and crashes at exit
# (seen when the JPEG image plugin is loaded in a process of its own).
export ASAN_OPTIONS="halt_on_error=1:print_stacktrace=1:detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0"
# -O1 and line tables only: the sanitizer build is compiled on every clean run.
configure_and_build "$ASAN_BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
  -DRPT_SANITIZE=address,undefined -DRPT_OBJECTS_ONLY=OFF
# A throwaway PostgreSQL server for the database tests (they read RPT_TEST_PG_PORT),
# stopped however the run ends.
pg_env="$(bash "$ROOT/scripts/postgres.sh" start)"
eval "$pg_env"
trap 'bash "$ROOT/scripts/postgres.sh" stop "$RPT_TEST_PG_DIR"' EXIT
ctest --test-dir "$ASAN_BUILD_DIR" --output-on-failure -j "$JOBS" --timeout 900

cmake -S "$ROOT" -B "$TSAN_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRPT_TSAN=ON \
  -DRPT_BUILD_BENCH=OFF >/dev/null
tsan_tests=(tests/report/report_tests tests/output/output_tests tests/output/preview_tests tests/data/data_tests
            tests/api/api_tests)
cmake --build "$TSAN_BUILD_DIR" -j "$JOBS" --target "${tsan_tests[@]##*/}"
# Without address randomisation: some kernels place mappings where the checker cannot work.
no_aslr=(setarch "$(uname -m)" -R)
"${no_aslr[@]}" true 2>/dev/null || no_aslr=()
# The toolkit is not instrumented: what it does inside (handing the drawing of a large
# image to its own thread pool) is not checked, only our code.
for test in "${tsan_tests[@]}"; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1" "${no_aslr[@]}" "$TSAN_BUILD_DIR/$test" --gtest_brief=1
done

# Every reader under libFuzzer on its seeds: the object model's 20 s each, the readers
# that need the toolkit (slower per input, and CI's time is bounded) 10 s each.
bash "$ROOT/scripts/fuzz.sh" 20 fuzz_stream_dump fuzz_stream_build fuzz_report_file fuzz_component_stream
bash "$ROOT/scripts/fuzz.sh" 10 fuzz_page_list fuzz_page_coder fuzz_metafile_player fuzz_pdf_page fuzz_expression fuzz_alias_file
