#!/usr/bin/env bash
# The Debian package as a user's machine sees it: built by cpack from the build folder,
# unpacked into a scratch root, its programs run from there on an installed example;
# the desktop entry validated; the report types found by their first bytes alone.
#   package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work="$build/tests/packaging/work"
rm -rf "$work" && mkdir -p "$work"
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >cpack.log 2>&1 || { cat cpack.log; fail "cpack"; }
deb=$(ls pkg/*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6sql6 libc6 libqt6sql6-sqlite; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib"
done

dpkg -x "$deb" root
usr="$work/root/usr"
for f in bin/reportdesigner bin/rpttool share/report-designer/sample.db share/applications/reportdesigner.desktop \
         share/mime/packages/reportdesigner.xml share/icons/hicolor/48x48/apps/reportdesigner.png \
         share/icons/hicolor/scalable/apps/reportdesigner.svg share/man/man1/rpttool.1.gz \
         share/man/man1/reportdesigner.1.gz share/doc/reportdesigner/README.md \
         share/doc/reportdesigner/user-guide.md share/doc/reportdesigner/images/preview-finished.png; do
  [ -s "$usr/$f" ] || fail "package lacks $f"
done

# The installed tool finds the installed sample database beside itself.
unset RPT_SAMPLE_DB
example=$(ls "$usr"/share/report-designer/examples/*.rpt | head -1)
[ -n "$example" ] || fail "no example report installed"
"$usr/bin/rpttool" render "$example" out.pdf
pages=$(pdfinfo out.pdf | awk '/^Pages:/ {print $2}')
[ "${pages:-0}" -ge 1 ] || fail "rendered PDF has no pages"
# Outputs are captured before grep -q looks at them: leaving a pipe early would kill its
# writer with SIGPIPE, and pipefail would then fail the line.
holds() { grep -q "$1" <<<"$2"; }
holds "^rpttool [0-9]" "$("$usr/bin/rpttool" --version)" || fail "rpttool --version"
holds "^Usage: rpttool render" "$("$usr/bin/rpttool" render --help)" || fail "rpttool render --help"
holds "^Usage: reportdesigner" "$("$usr/bin/reportdesigner" --help)" || fail "reportdesigner --help"
holds "qrp-print" "$(man -l "$usr/share/man/man1/rpttool.1.gz" 2>/dev/null)" || fail "rpttool man page lacks the commands"

# The library for other programs: its files, and the Python module imported from the
# unpacked root (it finds the library beside it by its relative run path).
for f in include/reportdesigner/ReportDesigner.h lib/cmake/ReportDesigner/ReportDesignerConfig.cmake \
         lib/pkgconfig/reportdesigner.pc share/report-designer/examples/api/render_orders.py; do
  [ -s "$usr/$f" ] || fail "package lacks $f"
done
ls "$usr"/lib/libreportdesigner.so.0* >/dev/null || fail "package lacks libreportdesigner.so.0"
module=$(ls "$usr"/lib/python3/dist-packages/reportdesigner*.so) || fail "package lacks the Python module"
preload=
# A sanitized module needs the sanitizer's runtime, and the C++ runtime, loaded before
# the interpreter (as the Python tests of tests/api do).
if holds libasan "$(ldd "$module")"; then
  preload="$(c++ -print-file-name=libasan.so):$(c++ -print-file-name=libstdc++.so)"
fi
said=$(LD_PRELOAD=$preload ASAN_OPTIONS=detect_leaks=0 PYTHONPATH="$usr/lib/python3/dist-packages" /usr/bin/python3 \
  "$usr/share/report-designer/examples/api/render_orders.py" "$usr/share/report-designer/examples/api/orders.json" \
  orders.pdf "$usr/share/report-designer/examples/orders_by_customer.rpt") || fail "the Python module failed"
holds "orders.pdf: 2 pages" "$said" || fail "the Python module did not render the example: $said"

desktop-file-validate "$usr/share/applications/reportdesigner.desktop" || fail "desktop entry"

# The MIME database of the package alone, asked about files without their extensions.
mkdir -p mime/packages empty
cp "$usr/share/mime/packages/reportdesigner.xml" mime/packages/
update-mime-database "$work/mime"
cp "$example" report-without-extension
"$usr/bin/rpttool" render "$example" recorded.qrp
cp recorded.qrp recorded-without-extension
type_of() { XDG_DATA_HOME="$work/empty" XDG_DATA_DIRS="$work" gio info -a standard::content-type "$1" | awk '/content-type/ {print $2}'; }
[ "$(type_of report-without-extension)" = application/x-reportdesigner-report ] ||
  fail "report file taken for $(type_of report-without-extension)"
[ "$(type_of recorded-without-extension)" = application/x-reportdesigner-recorded ] ||
  fail "recorded report taken for $(type_of recorded-without-extension)"
echo "package test passed: $(basename "$deb")"
