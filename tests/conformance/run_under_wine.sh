#!/usr/bin/env bash
# Runs conformance.exe under Wine against a program and checks its verdict.
#   run_under_wine.sh <conformance.exe> <program> pass
#     every row passes or skips, and the program exits 0;
#   run_under_wine.sh <conformance.exe> <program> fail <row>...
#     it exits non-zero, and each named row is a FAIL line.
# WINEPREFIX names the prefix, whose server the caller has started.
set -euo pipefail
conformance=$1 program=$2 expect=$3
shift 3

path=$(realpath "$program")
windows_path="Z:${path//\//\\}"
output=$(mktemp)
trap 'rm -f "$output"' EXIT

status=0
wine "$conformance" "$windows_path" </dev/null >"$output" 2>&1 || status=$?
cat "$output"

if ! grep -Eq '^# [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' "$output"; then
  echo "conformance did not run to its end (exit status $status)" >&2
  exit 1
fi
is_fail_row() {  # <row>: its line says FAIL
  local line
  while IFS= read -r line; do
    [[ $line == "FAIL $1: "* ]] && return 0
  done <"$output"
  return 1
}

case $expect in
  pass)
    if [ "$status" != 0 ] || grep -q '^FAIL ' "$output"; then
      echo "conformance failed $program (exit status $status)" >&2
      exit 1
    fi
    ;;
  fail)
    if [ "$status" = 0 ]; then
      echo "conformance passed $program, a fake (exit status 0)" >&2
      exit 1
    fi
    for row in "$@"; do
      if ! is_fail_row "$row"; then
        echo "row \"$row\" did not fail against $program" >&2
        exit 1
      fi
    done
    ;;
  *)
    echo "expected verdict must be pass or fail, not $expect" >&2
    exit 2
    ;;
esac
