#!/bin/sh
# rpttool qrp-print and printers as a user runs them: a recorded report to a PDF file
# through the built-in printer, page range and paper checked with poppler-utils.
# Usage: qrp_print_test.sh RPTTOOL QRP_SAMPLE WORKDIR
set -eu
rpttool=$1 sample=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$sample" five.qrp 5 >/dev/null
"$rpttool" printers > printers.txt || fail "printers"
grep -q '^PDF file' printers.txt || fail "no built-in PDF printer listed"
grep -q 'A4 210 x 297 mm' printers.txt || fail "papers not listed"

"$rpttool" qrp-print five.qrp --printer "PDF file" --from 2 --to 3 --output out.pdf > out.txt || fail "qrp-print"
[ "$(pdfinfo out.pdf | sed -n 's/^Pages: *//p')" = 2 ] || fail "expected 2 pages"
pdfinfo out.pdf | grep -q '595 x 842' || fail "expected A4 paper"
[ ! -e out.pdf.part ] || fail "partial file left"

# Pages past the end of the recording are not printed as blank pages.
"$rpttool" qrp-print five.qrp --from 4 --to 9 --output tail.pdf > /dev/null || fail "qrp-print tail"
[ "$(pdfinfo tail.pdf | sed -n 's/^Pages: *//p')" = 2 ] || fail "expected 2 pages in tail.pdf"

# Bad command lines and files fail cleanly and write nothing.
if "$rpttool" qrp-print five.qrp --from 3 --to 2 --output bad.pdf 2>/dev/null; then fail "reversed range accepted"; fi
if "$rpttool" qrp-print five.qrp --printer "no such" --output bad.pdf 2>/dev/null; then fail "unknown printer accepted"; fi
printf 'not a recording' > junk.qrp
if "$rpttool" qrp-print junk.qrp --output bad.pdf 2>/dev/null; then fail "junk accepted"; fi
[ ! -e bad.pdf ] && [ ! -e bad.pdf.part ] || fail "a failed print left a file"
# A real CUPS queue when one runs (scripts/cups-pdf.sh start): the job must be accepted.
if lpstat -p CUPS-PDF >/dev/null 2>&1; then
  "$rpttool" qrp-print five.qrp --printer CUPS-PDF --from 1 --to 2 > cups.txt || fail "qrp-print to CUPS-PDF"
  grep -q 'on CUPS-PDF' cups.txt || fail "CUPS-PDF not used"
fi
echo ok
