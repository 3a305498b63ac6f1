#!/bin/sh
# rpttool render --burst as a user runs it: an invoice per order of the sample database
# (a range of orders, to keep the test short), keys that are hard file names, every
# output kind, two shards run by GNU parallel against one unsharded run, a burst that
# fails among good ones, a rerun that redoes only what is missing, page numbers that
# start again in every burst, and a render killed half way that leaves nothing behind.
# Usage: rpttool_burst_test.sh RPTTOOL SAMPLE_DB INVOICES.rpt WORKDIR
set -u
tool=$1
sample=$2
invoices=$3
work=$4
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1
export RPT_DATA_DIR="$work" RPT_ALIAS_FILE="$work/no-aliases.ini" RPT_SAMPLE_DB="$sample" LC_ALL=C.UTF-8
# PDFs then carry this creation date, so the same data give the same bytes.
export SOURCE_DATE_EPOCH=1700000000

# shellcheck source=../support/cli.sh
. "$(dirname "$0")/../support/cli.sh"
# index_ok INDEX: every listed output has the bytes and SHA-256 the index gives.
index_ok() {
  tail -n +2 "$1" | while IFS=, read -r key file pages records bytes sha error; do
    [ -z "$error" ] || continue
    f="$(dirname "$1")/$file"
    [ "$(stat -c %s "$f")" = "$bytes" ] || echo "size of $f"
    [ "$(sha256sum < "$f" | cut -d' ' -f1)" = "$sha" ] || echo "sha256 of $f"
  done > bad.txt
  [ -s bad.txt ] && fail "$1 does not match its files: $(cat bad.txt)"
}
range="--param FIRST=1 --param LAST=240"

# Keys that are poor file names, from rows given as JSON: the index keeps the keys, the
# names are made safe, clashes get -2, -3 in walk order, a key that comes back after
# others is a clash too (with a warning).
long="x$(printf 'é%.0s' $(seq 1 100))"
row() {
  printf '{"key": %s, "order_id": %s, "line_no": 1, "product": "pen", "quantity": 1, "unit_price": 2.5, ' "$1" "$2"
  printf '"discount": 0, "amount": 2.5, "freight": 1}'
}
{
  echo "["
  printf '%s\n' '"a/b"|1' '"a/b"|1' '".hidden"|2' '""|3' 'null|4' '"Ölmühle ✓"|5' '"a_b"|6' '"a\\b"|7' '".."|8' \
    '"a/b"|9' "\"$long\"|10" '"tab\there"|11' |
    while IFS='|' read -r key id; do
      row "$key" "$id"
      echo ","
    done
  row '"end"' 12
  echo "]"
} > keys.json
expect 0 "$tool" render "$invoices" 'keys/k-{KEY}.csv' --data keys.json --burst key
has out.txt "12 bursts written, 0 kept from before, 0 failed, 0 left to other shards; index keys/index.csv"
cut -d, -f2,4 keys/index.csv > names.txt
cut50=$(printf 'é%.0s' $(seq 1 49))
printf '%s\n' file,records k-a_b.csv,2 k-_hidden.csv,1 k-empty.csv,1 k-null.csv,1 'k-Ölmühle ✓.csv,1' k-a_b-2.csv,1 \
  k-a_b-3.csv,1 k-_..csv,1 k-a_b-4.csv,1 "k-x$cut50.csv,1" k-tab_here.csv,1 k-end.csv,1 > expected.txt
cmp -s names.txt expected.txt || fail "burst names: $(diff names.txt expected.txt)"
grep -q "the key 'a/b' comes again after other keys" err.txt || fail "no warning for a key that comes back: $(cat err.txt)"
head -n 3 keys/index.csv | tail -n 1 | grep -q '^\.hidden,' || fail "the index lost the key: $(cat keys/index.csv)"
[ "$(ls keys | wc -l)" -eq 13 ] || fail "outputs: $(ls keys)"
index_ok keys/index.csv

# Every output kind, three invoices each, through the path a single render takes.
for ext in pdf qrp png csv xlsx; do
  expect 0 "$tool" render "$invoices" "kinds/$ext/invoice-{KEY}.$ext" --burst order_id --param FIRST=1 --param LAST=3
  [ "$(ls "kinds/$ext" | grep -c "^invoice-[123]\.$ext\$")" -eq 3 ] || fail ".$ext outputs: $(ls "kinds/$ext")"
  index_ok "kinds/$ext/index.csv"
  ls -A "kinds/$ext" | grep -q '^\.' && fail "temporary files left in kinds/$ext: $(ls -A "kinds/$ext")"
done
"$tool" qrp-info kinds/qrp/invoice-2.qrp > info.txt 2>&1 || fail "invoice-2.qrp does not read back: $(cat info.txt)"

# Two shards by GNU parallel give the same files, byte for byte, as one unsharded run,
# and their merged indexes its index. Without parallel, two background processes.
# shellcheck disable=SC2086
expect 0 "$tool" render "$invoices" 'whole/invoice-{KEY}.pdf' --burst order_id $range
has out.txt "240 bursts written, 0 kept from before, 0 failed, 0 left to other shards; index whole/index.csv"
index_ok whole/index.csv
N=2
if command -v parallel > /dev/null; then
  # shellcheck disable=SC2086
  parallel "$tool" render "$invoices" 'shards/invoice-{KEY}.pdf' --burst order_id $range --shard {}/$N \
    ::: $(seq 0 $((N - 1))) < /dev/null > out.txt 2> err.txt || fail "parallel run: $(cat err.txt)"
else
  echo "GNU parallel is not installed: the shards run as background processes" >&2
  for k in $(seq 0 $((N - 1))); do
    # shellcheck disable=SC2086
    "$tool" render "$invoices" 'shards/invoice-{KEY}.pdf' --burst order_id $range --shard "$k/$N" > "out-$k.txt" 2>&1 &
  done
  wait
fi
{ head -n 1 shards/index-0-of-$N.csv; tail -q -n +2 shards/index-*-of-$N.csv; } > merged.csv
[ "$(tail -n +2 shards/index-0-of-$N.csv | wc -l)" -gt 0 ] && [ "$(tail -n +2 shards/index-1-of-$N.csv | wc -l)" -gt 0 ] \
  || fail "a shard rendered nothing"
sort merged.csv > a.txt
sort whole/index.csv > b.txt
cmp -s a.txt b.txt || fail "the shards' indexes are not the whole run's: $(diff a.txt b.txt | head)"
rm merged.csv
diff -r -x 'index*' whole shards > diff.txt || fail "the shards' files differ from the whole run's: $(head diff.txt)"

# A burst that cannot be written (a folder stands at its name) and one whose key fails:
# both listed with their errors, every other written, status 3. A rerun that skips what
# exists redoes those, a removed file and a damaged one, and nothing else.
mkdir -p fail/invoice-5.pdf
# shellcheck disable=SC2086
expect 3 "$tool" render "$invoices" 'fail/invoice-{KEY}.pdf' --burst 'IF(order_id = 7, 1/0, order_id)' $range
has out.txt "238 bursts written, 0 kept from before, 2 failed, 0 left to other shards; index fail/index.csv"
grep -q '^5,invoice-5.pdf,,[0-9]*,,,.' fail/index.csv || fail "the unwritable burst: $(grep invoice-5 fail/index.csv)"
grep -qx ',,,[0-9]*,,,the burst expression fails: Cannot divide by 0' fail/index.csv \
  || fail "the failing key: $(sed -n 8p fail/index.csv)"
[ -f fail/invoice-4.pdf ] && [ -f fail/invoice-6.pdf ] && [ -f fail/invoice-240.pdf ] || fail "good bursts missing"
index_ok fail/index.csv
rmdir fail/invoice-5.pdf
rm fail/invoice-2.pdf
printf 'x' >> fail/invoice-3.pdf
touch -d '2001-01-01' fail/invoice-4.pdf
# shellcheck disable=SC2086
expect 3 "$tool" render "$invoices" 'fail/invoice-{KEY}.pdf' --burst 'IF(order_id = 7, 1/0, order_id)' $range --skip-existing
has out.txt "3 bursts written, 236 kept from before, 1 failed, 0 left to other shards; index fail/index.csv"
[ "$(stat -c %Y fail/invoice-4.pdf)" = "$(date -d 2001-01-01 +%s)" ] || fail "a kept invoice was written again"
cmp -s fail/invoice-3.pdf whole/invoice-3.pdf || fail "the damaged invoice was not written again"
index_ok fail/index.csv
[ -e fail/index.csv.partial ] && fail "the partial index was left behind"

# Page numbers and the page count start again in each burst: 70 lines of one order take
# more than one page, the next order one; each summary counts its own lines.
{
  echo "["
  for i in $(seq 1 70); do printf '{"order_id": 1, "line_no": %d, "amount": 1, "freight": 0},\n' "$i"; done
  echo '{"order_id": 2, "line_no": 1, "amount": 1, "freight": 0}, {"order_id": 2, "line_no": 2, "amount": 1, "freight": 0}]'
} > pages.json
expect 0 "$tool" render "$invoices" 'pages/p-{KEY}.pdf' --data pages.json --burst order_id
pdftotext pages/p-1.pdf p1.txt && pdftotext pages/p-2.pdf p2.txt || fail "pdftotext"
count=$(sed -n 2p pages/index.csv | cut -d, -f3)
[ "$count" -ge 2 ] || fail "invoice 1 has $count pages"
seq 1 "$count" | sed "s/.*/Page & of $count/" > expected.txt
grep '^Page ' p1.txt > got.txt
cmp -s got.txt expected.txt || fail "invoice 1's pages: $(cat got.txt)"
grep -qx 'Page 1 of 1' p2.txt || fail "invoice 2's pages: $(grep Page p2.txt)"
grep -qx '70 lines' p1.txt && grep -qx '2 lines' p2.txt || fail "line counts: $(grep lines p1.txt p2.txt)"
cut -d, -f2,3,4 pages/index.csv | tail -n +2 | tr '\n' ' ' > pages.txt
[ "$(cat pages.txt)" = "p-1.pdf,$count,70 p-2.pdf,1,2 " ] || fail "pages index: $(cat pages.txt)"

# Command-line mistakes: status 2, nothing written.
expect 2 "$tool" render "$invoices" 'bad/invoice.pdf' --burst order_id
expect 2 "$tool" render "$invoices" 'bad/{KEY}/invoice.pdf' --burst order_id
expect 2 "$tool" render "$invoices" 'bad/invoice-{KEY}.pdf' --burst order_id --shard 2/2
expect 2 "$tool" render "$invoices" 'bad/invoice.pdf' --shard 0/2
expect 2 "$tool" render "$invoices" 'bad/invoice-{KEY}.pdf' --burst 'order_id +'
expect 2 "$tool" render "$invoices" 'bad/invoice-{KEY}.pdf' --burst 'SUM(order_id)'
[ -e bad ] && fail "a refused command wrote $(ls -R bad)"

# Interrupted while writing (a kill, or Ctrl+C in a terminal): neither the output nor its
# temporary file is left, and the signal ends the program.
mkdir -p killed
"$tool" render "$invoices" killed/all.pdf > /dev/null 2>&1 &
pid=$!
for _ in $(seq 1 200); do
  [ -n "$(ls -A killed)" ] && break
  sleep 0.05
done
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq 143 ] || fail "a killed render ended with $status"
[ -z "$(ls -A killed)" ] || fail "a killed render left $(ls -A killed)"

[ "$failures" -eq 0 ] || exit 1
echo "rpttool render --burst: all checks passed"
