#!/bin/sh
# rpttool on recorded-report files written by the page store: qrp-info shows them,
# qrp-export writes a PDF whose text can be extracted, PNG and .emf pages; damaged
# files end with status 1 and a message, and leave existing outputs alone.
# Usage: qrp_cli_test.sh RPTTOOL QRP_SAMPLE WORKDIR
set -u
tool=$1
sample=$2
work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1

# shellcheck source=../support/cli.sh
. "$(dirname "$0")/../support/cli.sh"

"$sample" plain.qrp 3 || fail "sample writer"
"$sample" packed.qrp 3 --compressed || fail "sample writer (compressed)"
"$sample" unfinished.qrp 4 --abandoned || fail "sample writer (abandoned)"

expect 0 "$tool" qrp-info plain.qrp
grep -q '^pages: 3$' out.txt || fail "qrp-info page count: $(cat out.txt)"
grep -q '^compression: no$' out.txt || fail "qrp-info compression"
grep -q '^layout version: 3$' out.txt || fail "qrp-info layout version"
grep -q '^writer version: 309$' out.txt || fail "qrp-info writer version"
[ "$(grep -c '794 x 1123' out.txt)" -eq 3 ] || fail "qrp-info page sizes: $(cat out.txt)"
expect 0 "$tool" qrp-info packed.qrp
grep -q '^compression: yes$' out.txt || fail "qrp-info compressed flag"
expect 0 "$tool" qrp-info unfinished.qrp
grep -q '^pages: 1$' out.txt || fail "unfinished recording: header count"
grep -q '^note: the file holds 4 page records' out.txt || fail "unfinished recording note: $(cat out.txt)"

for f in plain packed; do
  expect 0 "$tool" qrp-export $f.qrp $f.pdf
  [ "$(head -c 5 $f.pdf)" = "%PDF-" ] || fail "$f.pdf is not a PDF"
  if command -v pdftotext > /dev/null 2>&1; then
    pdftotext $f.pdf $f.txt || fail "pdftotext $f.pdf"
    grep -q 'Page 2 of 3' $f.txt || fail "$f.pdf: footer text not found"
    grep -q 'Quarterly Sales Report' $f.txt || fail "$f.pdf: heading text not found"
    grep -q 'Order 10125' $f.txt || fail "$f.pdf: detail text of page 3 not found"
    [ "$(grep -c 'Northwind Traders' $f.txt)" -eq 180 ] || fail "$f.pdf: not every detail line is text"
  fi
  if command -v pdfinfo > /dev/null 2>&1; then
    pdfinfo $f.pdf > info.txt
    grep -q '^Pages: *3$' info.txt || fail "$f.pdf page count"
    grep -q 'Page size: *59[56].* x 84[12].* pts (A4)' info.txt || fail "$f.pdf page size: $(grep 'Page size' info.txt)"
  fi
done

expect 0 "$tool" qrp-export packed.qrp pages
[ "$(ls pages | wc -l)" -eq 3 ] || fail "PNG folder: $(ls pages)"
[ "$(od -An -c -N4 pages/page-0002.png | tr -d ' ')" = "211PNG" ] || fail "page-0002.png is not a PNG"
expect 0 "$tool" qrp-export plain.qrp big --dpi 192
[ -s big/page-0001.png ] || fail "PNG at 192 dpi"
expect 0 "$tool" qrp-export packed.qrp emf --format emf
[ "$(ls emf/*.emf | wc -l)" -eq 3 ] || fail "EMF folder"
[ "$(od -An -c -j41 -N3 emf/page-0003.emf | tr -d ' ')" = "EMF" ] || fail "page-0003.emf has no EMF signature"

# Damaged files: status 1, the file named in the message, the previous output kept.
cp plain.pdf good.pdf
size=$(wc -c < plain.qrp)
head -c $((size - 300)) plain.qrp > cut.qrp
expect 1 "$tool" qrp-info cut.qrp
grep -q '^rpttool: cut.qrp: ' err.txt || fail "truncation message: $(cat err.txt)"
expect 1 "$tool" qrp-export cut.qrp good.pdf
cmp -s plain.pdf good.pdf || fail "a failed export replaced good.pdf"
[ "$(ls -a | grep -c '^\.good\.pdf')" -eq 0 ] || fail "a failed export left a temporary file"
head -c 100 plain.qrp > stub.qrp
expect 1 "$tool" qrp-info stub.qrp
expect 1 "$tool" qrp-info missing.qrp
grep -q 'missing.qrp' err.txt || fail "missing file message: $(cat err.txt)"
printf 'not a recorded report at all, just text that is long enough to have a header and then some more text.....................................................................' > text.qrp
expect 1 "$tool" qrp-info text.qrp

# Bad command lines: status 2.
expect 2 "$tool" qrp-export plain.qrp out.pdf --format gif
expect 2 "$tool" qrp-export plain.qrp out.pdf --bogus
expect 2 "$tool" qrp-export plain.qrp out --dpi 0
expect 2 "$tool" qrp-info

[ "$failures" -eq 0 ] || exit 1
echo "qrp_cli_test: all checks passed"
