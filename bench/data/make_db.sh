#!/usr/bin/env bash
# Builds a database with the sample schema and N order lines (orders, customers and
# products to match), from the same SQL as the sample database.
#
#   bash bench/data/make_db.sh [N] [OUT]     N: 10000 .. 1000000 (default 1000000)
#                                            OUT: default /tmp/rpt-bench/bench_N.db
# Prints the file name. About 40 s for a million lines on two cores.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
lines="${1:-1000000}"
case "$lines" in
  ''|*[!0-9]*) echo "make_db.sh: N must be a whole number, not '$lines'" >&2; exit 2 ;;
esac
if [ "$lines" -lt 1 ] || [ "$lines" -gt 100000000 ]; then
  echo "make_db.sh: N must be between 1 and 100000000" >&2; exit 2
fi
out="${2:-/tmp/rpt-bench/bench_${lines}.db}"
mkdir -p "$(dirname "$out")"
tmp="$out.tmp.$$"
trap 'rm -f "$tmp"' EXIT
sqlite3 -bail "$tmp" \
  ".read $root/sql/schema.sql" \
  "CREATE TEMP TABLE gen_params AS SELECT $lines AS lines" \
  ".read $root/sql/data.sql"
mv "$tmp" "$out"
echo "$out"
