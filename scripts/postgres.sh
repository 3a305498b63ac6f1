#!/usr/bin/env bash
# A throwaway PostgreSQL server for tests and trials, listening on 127.0.0.1 only.
#
#   eval "$(bash scripts/postgres.sh start)"   # exports RPT_TEST_PG_PORT and RPT_TEST_PG_DIR
#   bash scripts/postgres.sh stop "$RPT_TEST_PG_DIR"
#
# start: a fresh data folder under /tmp, a free port, trust authentication for every
# role on 127.0.0.1 except the role rpt_secure, which must give its password (so tests
# can try a refused login). Prints the export lines on stdout, progress on stderr.
# stop: stops that server and deletes its folder. As root the server runs as the user
# postgres (the server refuses to run as root).
set -euo pipefail

PG_BIN="${PG_BIN:-/usr/lib/postgresql/15/bin}"
[ -x "$PG_BIN/pg_ctl" ] || PG_BIN="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
if [ ! -x "$PG_BIN/pg_ctl" ]; then
  echo "postgres.sh: no PostgreSQL server binaries found (install the postgresql package)" >&2
  exit 1
fi

as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

port_in_use() {  # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start() {
  local dir
  dir="$(mktemp -d /tmp/rpt-pg.XXXXXX)"
  chmod 700 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  if ! as_server "$PG_BIN/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 --no-sync \
      >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    rm -rf "$dir"
    return 1
  fi
  # Password-checked role first: the first matching line decides.
  local hba="$dir/data/pg_hba.conf"
  {
    echo "host all rpt_secure 127.0.0.1/32 scram-sha-256"
    echo "host all all 127.0.0.1/32 trust"
    echo "local all all trust"
  } | as_server tee "$hba" >/dev/null

  local attempt port
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + (RANDOM * 7 + attempt) % 40000))
    port_in_use "$port" && continue
    if as_server "$PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 -s start \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir \
            -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=100" \
        >/dev/null 2>&1; then
      echo "PostgreSQL started on 127.0.0.1:$port ($dir)" >&2
      echo "export RPT_TEST_PG_PORT=$port"
      echo "export RPT_TEST_PG_DIR=$dir"
      return 0
    fi
  done
  echo "postgres.sh: the server did not start; its log:" >&2
  cat "$dir/server.log" >&2 2>/dev/null || true
  rm -rf "$dir"
  return 1
}

stop() {  # dir
  local dir="${1:-${RPT_TEST_PG_DIR:-}}"
  case "$dir" in
    /tmp/rpt-pg.*) ;;
    *) echo "postgres.sh stop: give the folder that start printed (/tmp/rpt-pg.*)" >&2; return 1 ;;
  esac
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_server "$PG_BIN/pg_ctl" -D "$dir/data" -m immediate -w -t 30 -s stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

case "${1:-}" in
  start) start ;;
  stop) stop "${2:-}" ;;
  *) echo "usage: $0 start | stop DIR" >&2; exit 2 ;;
esac
