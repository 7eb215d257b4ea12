#!/usr/bin/env bash
# Starts (or stops) the one Wine server the Wine tests share, in the prefix
# that WINEPREFIX names. Every Wine process started here has its standard
# streams on /dev/null: the server outlives them and would otherwise hold a
# captured stream open, so that whoever reads it waits.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
quiet() { "$@" </dev/null >/dev/null 2>&1; }

case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      quiet wineboot -i || { echo "wineboot could not create $WINEPREFIX" >&2; exit 1; }
    fi
    quiet wineserver -p
    quiet wine cmd /c exit 0  # the first run starts Wine's own services
    quiet wine cmd /c exit 7
    status=$?
    if [ "$status" != 7 ]; then
      echo "wine does not run programs here (exit status $status, expected 7)" >&2
      exit 1
    fi
    ;;
  stop)
    quiet wineserver -k
    exit 0
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
