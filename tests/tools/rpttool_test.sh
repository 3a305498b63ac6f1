#!/bin/sh
# rpttool on a small report file: dump then build gives back the same bytes, and
# failures exit with 1 (bad input) or 2 (bad command line) and leave outputs alone.
# Usage: rpttool_test.sh RPTTOOL WORKDIR
set -u
tool=$1
work=$2
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1

# shellcheck source=../support/cli.sh
. "$(dirname "$0")/../support/cli.sh"

# A report bound to the table orders.db of alias Sales, holding one label.
printf 'QXRP\002\005\000\000\000Sales\011\000\000\000orders.db' > in.rpt
printf 'TPF0\007TReport\006Report\004Left\002\050\000' >> in.rpt
printf '\010TQRLabel\006Label1\007Caption\006\005Total\000\000\000' >> in.rpt

expect 0 "$tool" dump in.rpt
cp out.txt in.txt
grep -q '^  kind = table$' in.txt || fail "dump does not show the dataset kind"
grep -q '^    Caption = "Total"  (svString)$' in.txt || fail "dump does not show the caption"
expect 0 "$tool" build in.txt rebuilt.rpt
cmp -s in.rpt rebuilt.rpt || fail "build did not reproduce the original bytes"
expect 0 "$tool" dump - < in.rpt
cmp -s in.txt out.txt || fail "dump of standard input differs from dump of the file"

# Bad input: status 1, one message prefixed with the program name.
head -c 40 in.rpt > cut.rpt
expect 1 "$tool" dump cut.rpt
grep -q '^rpttool: cut.rpt: offset [0-9]*: expected' err.txt || fail "truncation message: $(cat err.txt)"
expect 1 "$tool" dump missing.rpt
grep -q '^rpttool: ' err.txt || fail "missing-file message: $(cat err.txt)"
expect 1 "$tool" dump .

# A failed build leaves an existing output untouched and no temporary file behind.
sed 's/(svString)/(svBogus)/' in.txt > bad.txt
cp rebuilt.rpt kept.rpt
expect 1 "$tool" build bad.txt kept.rpt
grep -q '^rpttool: bad.txt: line [0-9]*: unknown value code svBogus' err.txt || fail "build message: $(cat err.txt)"
cmp -s rebuilt.rpt kept.rpt || fail "a failed build changed its output file"
[ -z "$(ls -A | grep '^\.')" ] || fail "temporary files left behind: $(ls -A)"
expect 1 "$tool" build in.txt no-such-dir/out.rpt

# Command-line mistakes: status 2. Help: status 0 on stdout.
expect 2 "$tool"
expect 2 "$tool" frobnicate in.rpt
grep -q "^rpttool: unknown command 'frobnicate'" err.txt || fail "unknown-command message: $(cat err.txt)"
expect 2 "$tool" dump
expect 2 "$tool" build in.txt
expect 0 "$tool" --help
grep -q 'dump FILE' out.txt || fail "help does not list dump"

# A command's own help, and eval's status telling a value from an error value.
expect 0 "$tool" render --help
grep -q '^Usage: rpttool render FILE.rpt' out.txt || fail "render --help: $(cat out.txt)"
expect 0 "$tool" --version
grep -q '^rpttool [0-9]' out.txt || fail "--version: $(cat out.txt)"
expect 0 "$tool" eval "1 + 2"
grep -q '^3 (INTEGER)$' out.txt || fail "eval 1 + 2: $(cat out.txt)"
expect 1 "$tool" eval "DIV(1, 0)"
grep -q '(ERROR)$' out.txt || fail "an error value is still printed: $(cat out.txt)"
expect 1 "$tool" eval "1 +"

[ "$failures" -eq 0 ] || exit 1
echo "rpttool: all checks passed"
