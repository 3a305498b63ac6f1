#!/bin/sh
# rpttool check and resave on a report file made without the program: a hand-made
# header and a component stream built from its text form. It loads, shows its
# components, resaves to the same bytes; damaged copies exit with 1, name what is
# wrong, and leave the output alone.
# Usage: rpttool_report_test.sh RPTTOOL STREAM_TEXT WORKDIR
set -u
tool=$1
text=$2
work=$3
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1

# shellcheck source=../support/cli.sh
. "$(dirname "$0")/../support/cli.sh"

# The header of a report bound to the query "select *" / "from orders" of alias Sales:
# kind 1, the database name, then the SQL block (31 bytes: count 2, then each line).
header() {
  printf 'QXRP\001\005\000\000\000Sales\037\000\000\000\002\000\000\000'
  printf '\010\000\000\000select *\013\000\000\000from orders'
}
# report NAME TEXTFILE: the header and the stream built from TEXTFILE, as NAME.
report() {
  "$tool" build "$2" stream.bin || fail "build of $2: $(cat err.txt)"
  { header; cat stream.bin; } > "$1"
}

report hand.rpt "$text"
expect 0 "$tool" check hand.rpt
has out.txt 'dataset: query of database "Sales", 2 SQL lines "select *\nfrom orders"'
has out.txt 'TNotifyQuickRep Report  parent (none)  page 210.0 x 297.0 mm'
has out.txt '  TQRBand PageHeaderBand1 rbPageHeader  parent Report  height 12.7, width 190.0 mm'
has out.txt '    TQRShape Box  parent PageHeaderBand1  25.4 x 12.7 mm at 12.7, 0.0  "qrsCircle"'
has out.txt '  TQRBand DetailBand1 rbDetail  parent Report  height 25.4, width 190.0 mm'
has out.txt '    TQRMemo Address  parent DetailBand1  50.8 x 12.7 mm at 0.0, 6.4  "1 Main Street\nSpringfield"'
[ "$(wc -l < out.txt)" -eq 6 ] || fail "check shows more than the six lines: $(cat out.txt)"

expect 0 "$tool" resave hand.rpt resaved.rpt
cmp -s hand.rpt resaved.rpt || fail "resave changed the hand-made file"
# The stored name of the report is not kept: the document's report is called Report.
sed 's/^object TNotifyQuickRep Report$/object TNotifyQuickRep Invoice/' "$text" > renamed.txt
report renamed.rpt renamed.txt
expect 0 "$tool" resave renamed.rpt renamed-out.rpt
cmp -s hand.rpt renamed-out.rpt || fail "a report stored under another name does not resave as Report"

# broken NAME SED-EXPRESSION: the hand-made report with one change made in its text.
broken() {
  sed "$2" "$text" > "$1.txt"
  cmp -s "$text" "$1.txt" && fail "the change '$2' changed nothing"
  report "$1.rpt" "$1.txt"
}
# refused FILE MESSAGE: check and resave both exit with 1 and that message, and resave
# neither replaces an existing output nor creates a new one.
refused() {
  expect 1 "$tool" check "$1"
  has err.txt "$2"
  [ -s out.txt ] && fail "check of $1 printed a tree: $(cat out.txt)"
  cp hand.rpt kept.rpt
  expect 1 "$tool" resave "$1" kept.rpt
  has err.txt "$2"
  cmp -s hand.rpt kept.rpt || fail "a failed resave of $1 changed its output"
  expect 1 "$tool" resave "$1" new.rpt
  [ -e new.rpt ] && fail "a failed resave of $1 wrote its output"
}

broken bad-enum 's/BandType = rbDetail/BandType = rbNoSuch/'
refused bad-enum.rpt 'rpttool: bad-enum.rpt: Error reading DetailBand1.BandType: Invalid property value'
broken bad-shape 's/Shape = qrsCircle  (svIdent)/Shape = 9  (svInt8)/'
refused bad-shape.rpt 'rpttool: bad-shape.rpt: Error reading Box.Shape: Invalid property value'
broken bad-values 's/^      127  (svExtended)$/      "wide"  (svString)/'
refused bad-values.rpt 'rpttool: bad-values.rpt: Error reading PageHeaderBand1.Size.Values: Invalid property value'
# Negative sizes would lay every record over the last; Size.Values: height first.
broken negative-band 's/^      254  (svExtended)$/      -254  (svExtended)/'
refused negative-band.rpt 'rpttool: negative-band.rpt: Error reading DetailBand1.Size.Values: the height may not be negative (-254)'
broken negative-width 's/^        508  (svExtended)$/        -508  (svExtended)/'
refused negative-width.rpt 'rpttool: negative-width.rpt: Error reading Address.Size.Values: the width may not be negative (-508)'
broken unknown-property 's/AutoStretch = False/AutoStrech = False/'
refused unknown-property.rpt 'rpttool: unknown-property.rpt: Error reading Address.AutoStrech: Property AutoStrech does not exist'
broken unknown-class 's/object TQRMemo Address/object TQRNote Address/'
refused unknown-class.rpt 'rpttool: unknown-class.rpt: Class TQRNote not found (object Address)'

# Cut inside the header, inside the SQL block, and inside the stream: the offset says where.
head -c 7 hand.rpt > cut-name.rpt
refused cut-name.rpt 'rpttool: cut-name.rpt: offset 5: expected the length of the database name (4 bytes), found only 2 bytes'
head -c 30 hand.rpt > cut-sql.rpt
refused cut-sql.rpt 'rpttool: cut-sql.rpt: offset 14: expected the length of the SQL block from 0 to 12, found 31'
size=$(wc -c < hand.rpt)
head -c $((size - 2)) hand.rpt > cut-stream.rpt
refused cut-stream.rpt "rpttool: cut-stream.rpt: offset $((size - 2)): expected a child object, or svNull ending the children, found end of data"
printf 'TPF0\017TNotifyQuickRep\006Report\000\000' > bare.rpt
refused bare.rpt 'rpttool: bare.rpt: File "bare.rpt" is not a report file'

expect 1 "$tool" check missing.rpt
has err.txt 'rpttool: Cannot open file "missing.rpt". No such file or directory'
expect 1 "$tool" check .
expect 1 "$tool" resave hand.rpt no-such-dir/out.rpt
[ -z "$(ls -A | grep '^\.')" ] || fail "temporary files left behind: $(ls -A)"

# Command-line mistakes: status 2. Help lists both commands.
expect 2 "$tool" check
expect 2 "$tool" resave hand.rpt
expect 0 "$tool" --help
grep -q '^  check FILE.rpt' out.txt || fail "help does not list check"
grep -q '^  resave IN.rpt OUT.rpt' out.txt || fail "help does not list resave"

[ "$failures" -eq 0 ] || exit 1
echo "rpttool check/resave: all checks passed"
