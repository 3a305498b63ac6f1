#!/usr/bin/env bash
# Burst rendering timed as processes: `rpttool render examples/invoices.rpt
# 'OUT/invoice-{KEY}.pdf' --burst order_id`, an invoice per order, over the first N orders
# of a database (the parameter LAST), in one process and as two shards run side by side.
# Per row: wall seconds of the whole run, bursts per second, CPU seconds of all processes,
# the largest peak resident memory of one process, and the outputs' size, from GNU time.
# Peak memory should stay flat as N grows: the data are walked once and each invoice's
# pages are let go once written.
#
#   bash bench/burst_bench.sh [BUILD_DIR] [DATABASE] [COUNTS...]
#     DATABASE: an SQLite file with the sample schema (default: BUILD_DIR/data/sample.db;
#               bench/data/make_db.sh makes larger ones); COUNTS default 1000 4000 all
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build=${1:-build}
database=${2:-$build/data/sample.db}
shift 2 || shift $#
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 4000 all)
rpttool=$build/tools/rpttool/rpttool
folder=/tmp/rpt-bench/bursts
mkdir -p "$folder"
export RPT_SAMPLE_DB=$database RPT_DATA_DIR=$folder RPT_ALIAS_FILE=/nonexistent/aliases.ini QT_QPA_PLATFORM=offscreen
command -v /usr/bin/time > /dev/null || { echo "burst_bench: GNU time (package time) is needed" >&2; exit 2; }
orders=$(sqlite3 "$database" "select count(*) from orders")

# One row: orders, shards, wall s, bursts/s, CPU s, peak MB of a process, output MB.
run() {
  local last=$1 shards=$2 out=$folder/out
  rm -rf "$out"
  local start end
  start=$(date +%s.%N)
  local pids=()
  for k in $(seq 0 $((shards - 1))); do
    local shard=()
    [ "$shards" -gt 1 ] && shard=(--shard "$k/$shards")
    /usr/bin/time -o "$folder/time-$k.txt" -f "%e %U %S %M" "$rpttool" render "$root/examples/invoices.rpt" \
      "$out/invoice-{KEY}.pdf" --burst order_id --param LAST="$last" "${shard[@]}" > /dev/null 2> "$folder/err-$k.txt" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do
    wait "$pid" || { echo "burst_bench: a run failed: $(cat "$folder"/err-*.txt)" >&2; return 1; }
  done
  end=$(date +%s.%N)
  local cpu=0 peak=0
  for k in $(seq 0 $((shards - 1))); do
    read -r _ user sys kb < "$folder/time-$k.txt"
    cpu=$(echo "$cpu + $user + $sys" | bc)
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  local bursts wall
  bursts=$(ls "$out" | grep -c '^invoice-.*\.pdf$')
  wall=$(echo "$end - $start" | bc)
  printf "%8s %7s %8.1f %10.1f %8.1f %8.1f %9.1f\n" "$bursts" "$shards" "$wall" "$(echo "$bursts / $wall" | bc -l)" \
    "$cpu" "$(echo "$peak / 1024" | bc -l)" "$(echo "$(du -sb "$out" | cut -f1) / 1048576" | bc -l)"
  rm -rf "$out"
}

printf "%8s %7s %8s %10s %8s %8s %9s\n" bursts shards "wall s" "bursts/s" "CPU s" "peak MB" "output MB"
for n in "${counts[@]}"; do
  [ "$n" = all ] && n=$orders
  run "$n" 1
  run "$n" 2
done
