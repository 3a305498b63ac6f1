#!/usr/bin/env bash
# The paths users take, timed as processes: `rpttool render` of the grouped list of
# bench_generation into .pdf (also with the page count in its footer, which writes the PDF
# from the page store after the pass), .qrp, .png (the first page), .csv and .xlsx, beside the
# floor program (the same texts drawn with QPainter alone onto QPdfWriter), at each size.
# Per run: wall and CPU seconds, peak resident memory and the output's size, from GNU
# time. The tables and reports are made once in /tmp/rpt-bench and reused.
#
#   bash bench/render_bench.sh [BUILD_DIR] [SIZES...]     (default: build 10000 100000 1000000)
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
rpttool=$build/tools/rpttool/rpttool
bench=$build/bench/bench_generation
folder=/tmp/rpt-bench
mkdir -p "$folder"
export RPT_DATA_DIR=$folder RPT_ALIAS_FILE=/nonexistent/aliases.ini QT_QPA_PLATFORM=offscreen
command -v /usr/bin/time > /dev/null || { echo "render_bench: GNU time (package time) is needed" >&2; exit 2; }

# Runs a command, prints one row: rows, case, wall s, CPU s, peak MB, output MB.
run() {
  local rows=$1 name=$2 out=$3
  shift 3
  rm -f "$out"
  /usr/bin/time -o "$folder/time.txt" -f "%e %U %S %M" "$@" > /dev/null 2> "$folder/err.txt" ||
    { echo "render_bench: $name failed: $(cat "$folder/err.txt")" >&2; return 1; }
  read -r wall user sys kb < "$folder/time.txt"
  local bytes=0
  [ -f "$out" ] && bytes=$(stat -c %s "$out")
  printf "%9s  %-14s %8.2f %8.2f %8.1f %9.1f\n" "$rows" "$name" "$wall" "$(echo "$user + $sys" | bc)" \
    "$(echo "$kb / 1024" | bc -l)" "$(echo "$bytes / 1048576" | bc -l)"
}

printf "%9s  %-14s %8s %8s %8s %9s\n" rows case "wall s" "CPU s" "peak MB" "output MB"
for n in "${sizes[@]}"; do
  report=$folder/list_$n.rpt
  [ -f "$report" ] || "$bench" --write-report "$n" "$report"
  counted=$folder/list_count_$n.rpt
  if [ ! -f "$counted" ]; then
    "$rpttool" dump "$report" 2> /dev/null |
      sed 's/Data = qrsPageNumber  (svIdent)/Data = qrsPageCount  (svIdent)/' > "$folder/count.txt"
    "$rpttool" build "$folder/count.txt" "$counted" > /dev/null
  fi
  run "$n" "floor (QPainter)" "$folder/floor_$n.pdf" "$bench" --floor "$n" "$folder/floor_$n.pdf"
  run "$n" "render .pdf" "$folder/out_$n.pdf" "$rpttool" render "$report" "$folder/out_$n.pdf"
  run "$n" "render .pdf N/M" "$folder/out_$n.pdf" "$rpttool" render "$counted" "$folder/out_$n.pdf"
  run "$n" "render .qrp" "$folder/out_$n.qrp" "$rpttool" render "$report" "$folder/out_$n.qrp"
  run "$n" "render .png p1" "$folder/out_$n.png" "$rpttool" render "$report" "$folder/out_$n.png" --from 1 --to 1
  run "$n" "render .csv" "$folder/out_$n.csv" "$rpttool" render "$report" "$folder/out_$n.csv"
  run "$n" "render .xlsx" "$folder/out_$n.xlsx" "$rpttool" render "$report" "$folder/out_$n.xlsx"
  rm -f "$folder"/out_"$n".* "$folder"/floor_"$n".pdf
done
