#!/usr/bin/env bash
# The library as another program's build finds it: installed by `cmake --install` into a
# scratch prefix, the example of examples/api configured there with find_package (and
# compiled once more with pkg-config's flags), built and run on an example report.
#   install_example_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work="$build/tests/api/install_work"
rm -rf "$work" && mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" --component Development >"$work/install.log" ||
  { cat "$work/install.log"; fail "cmake --install"; }
cmake -S "$src/examples/api" -B "$work/example" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$work/example" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build"; }
# The program runs from the installed library, not the build's.
# (Captured first: grep -q would leave early and, with pipefail, fail the pipe on ldd's SIGPIPE.)
libs=$(ldd "$work/example/render_example")
grep -q "$work/prefix/.*libreportdesigner" <<<"$libs" || fail "not linked to the installed library"
out=$("$work/example/render_example" "$src/examples/orders_by_customer.rpt" "$work/out.pdf" 2>"$work/progress.log")
[ "$out" = "$work/out.pdf: 8 pages, 0 rows" ] || fail "render_example said: $out"
grep -q "^page 8, " "$work/progress.log" || fail "no progress lines"
[ "$(head -c 5 "$work/out.pdf")" = "%PDF-" ] || fail "out.pdf is no PDF"
# A report that cannot be opened is an error message and exit status 1.
status=0
"$work/example/render_example" "$work/missing.rpt" "$work/x.pdf" 2>"$work/error.log" || status=$?
[ $status -eq 1 ] && grep -q "missing.rpt" "$work/error.log" || fail "missing report: status $status"

pcdir=$(dirname "$(find "$work/prefix" -name reportdesigner.pc)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs reportdesigner)
libdir=$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=libdir reportdesigner)
# shellcheck disable=SC2086
c++ "$src/examples/api/render_example.cpp" -o "$work/render_example_pc" $flags -Wl,-rpath,"$libdir" ||
  fail "build with pkg-config"
out=$("$work/render_example_pc" "$src/examples/orders_by_country.rpt" "$work/out.csv" COUNTRY=Austria \
  FROM=2024-01-01 TO=2024-06-30 2>/dev/null) || fail "pkg-config build's render failed"
grep -q "out.csv: 0 pages, 37 rows" <<<"$out" || fail "pkg-config build's render: $out"
echo "install test passed"
