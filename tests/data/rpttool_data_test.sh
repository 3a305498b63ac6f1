#!/bin/sh
# rpttool's database commands run as a user would: aliases, tables, and records of a
# table or a query as CSV; failures exit with 1 and the engine's message.
# Usage: rpttool_data_test.sh RPTTOOL SAMPLE_DB WORKDIR
set -u
tool=$1
sample=$2
work=$3
rm -rf "$work" && mkdir -p "$work/databases" || exit 1
cd "$work" || exit 1
export RPT_DATA_DIR="$work/databases" RPT_ALIAS_FILE="$work/aliases.ini" RPT_SAMPLE_DB="$sample"
sqlite3 databases/shop.db "CREATE TABLE items (id INTEGER PRIMARY KEY, name VARCHAR(10)); INSERT INTO items VALUES (1, 'pen');" \
  || exit 1

# shellcheck source=../support/cli.sh
. "$(dirname "$0")/../support/cli.sh"
same() {  # FILE EXPECTED-TEXT
  printf '%s' "$2" > expected.txt
  cmp -s "$1" expected.txt || fail "unexpected output: $(cat "$1")"
}

expect 0 "$tool" aliases
same out.txt "$(printf 'Sample\tSQLite %s\nshop\tSQLite %s/databases/shop.db' "$sample" "$work")
"
expect 0 "$tool" tables sample
same out.txt "catalogue
categories
customers
employees
order_lines
order_totals
orders
products
"
expect 0 "$tool" query Sample "SELECT customer_id, company FROM customers WHERE customer_id = :id" id=3
same out.txt "customer_id,company
3,Blåbær GmbH
"
expect 0 "$tool" query shop "SELECT 'a,b' AS x, 'say \"hi\"' AS y, NULL AS z, x'00ff' AS w, ' pad' AS p"
same out.txt 'x,y,z,w,p
"a,b","say ""hi""",,0x00ff," pad"
'
expect 0 "$tool" table shop items.db
same out.txt "id,name
1,pen
"
expect 0 "$tool" table Sample order_lines
[ "$(wc -l < out.txt)" -eq 60001 ] || fail "order_lines gave $(wc -l < out.txt) lines"
head -n 1 out.txt | grep -qx 'line_id,order_id,line_no,product_id,quantity,unit_price,discount,comment' \
  || fail "order_lines header: $(head -n 1 out.txt)"

expect 1 "$tool" query Sample "SELEC 1"
grep -qx 'rpttool: near "SELEC": syntax error' err.txt || fail "syntax error message: $(cat err.txt)"
[ -s out.txt ] && fail "a failed query printed rows"
expect 1 "$tool" table Sample nosuch
grep -qx "rpttool: Table 'nosuch' does not exist in database Sample" err.txt || fail "missing table: $(cat err.txt)"
expect 1 "$tool" tables nowhere
grep -qx "rpttool: Alias 'nowhere' does not exist" err.txt || fail "missing alias: $(cat err.txt)"
expect 1 "$tool" query Sample "SELECT :a" b=1
grep -qx "rpttool: Parameter 'b' not found" err.txt || fail "unknown parameter: $(cat err.txt)"
expect 1 "$tool" query Sample "SELECT :a" a
expect 2 "$tool" tables

# Listing the aliases reads the alias file once, not once per alias: 8 times the
# sections take nowhere near 64 times as long (16,000 sections took minutes).
seconds() {  # SECTIONS: the time of rpttool aliases over an alias file of that many
  awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "[A%d]\nDriver = SQLite\nPath = a%d.db\n", i, i }' > many.ini
  start=$(date +%s.%N)
  RPT_ALIAS_FILE="$work/many.ini" "$tool" aliases > out.txt 2> err.txt || fail "aliases over $1 sections: $(cat err.txt)"
  end=$(date +%s.%N)
  [ "$(wc -l < out.txt)" -eq $(($1 + 2)) ] || fail "aliases over $1 sections listed $(wc -l < out.txt)"
  echo "$start $end" | awk '{ print $2 - $1 }'
}
small=$(seconds 2000)
large=$(seconds 16000)
echo "$small $large" | awk '{ exit !($2 < $1 * 8 * 4) }' \
  || fail "rpttool aliases: ${small} s for 2,000 sections but ${large} s for 16,000"

# A file's rows into the alias Imported: a malformed file changes nothing, a taken
# name moves on unless --replace.
printf 'id,name\n1,"a\n2,b\n' > bad.csv
expect 1 "$tool" import bad.csv
has err.txt 'rpttool: bad.csv, line 2, column 3: a quoted field is not closed'
[ -e databases/Imported.db ] && fail "a malformed file made the database"
printf 'id,name\n1,Zoë\n2,\n' > "my list.csv"
expect 0 "$tool" import "my list.csv"
has out.txt "$(printf 'Imported\tmy_list\t2 rows')"
expect 0 "$tool" import "my list.csv"
has out.txt "$(printf 'Imported\tmy_list_2\t2 rows')"
expect 0 "$tool" table Imported my_list
same out.txt "id,name
1,Zoë
2,
"
printf 'id\n9\n' > other.csv
expect 0 "$tool" import other.csv my_list --replace
expect 0 "$tool" table Imported my_list
same out.txt "id
9
"

[ "$failures" -eq 0 ] && echo "all rpttool data checks passed"
exit "$failures"
