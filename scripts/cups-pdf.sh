#!/usr/bin/env bash
# Starts a local CUPS scheduler with one cups-pdf queue, so printing through a real CUPS
# queue can be tried on a machine without printers. Needs the packages cups and
# printer-driver-cups-pdf (scripts/setup.sh) and root.
#   scripts/cups-pdf.sh start   # prints the scheduler's process id
#   scripts/cups-pdf.sh stop PID
# The queue is named CUPS-PDF; its files land in /var/spool/cups-pdf (cups-pdf.conf).
set -euo pipefail
case "${1:-start}" in
  start)
    if ! lpstat -r 2>/dev/null | grep -q "is running"; then
      /usr/sbin/cupsd -f >/tmp/cupsd.log 2>&1 &
      pid=$!
      for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.2; done
      echo "$pid"
    fi
    lpadmin -p CUPS-PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
    lpadmin -d CUPS-PDF
    ;;
  stop)
    [ -n "${2:-}" ] && kill "$2"
    ;;
esac
