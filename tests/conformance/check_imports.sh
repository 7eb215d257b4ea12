#!/usr/bin/env bash
# conformance.exe must load on Windows XP SP3 as the tool does: Windows 5.1
# in its headers, and every import on a fixed list of functions XP SP3 has.
# A new import fails here until it is checked against XP and listed.
# Usage: check_imports.sh <conformance.exe> <list>
set -euo pipefail
exe=$1 list=$2
headers=$(i686-w64-mingw32-objdump -p "$exe")
for field in MajorOSystemVersion MajorSubsystemVersion; do
  grep -Eq "^${field}[[:space:]]+5$" <<<"$headers" || { echo "$field is not 5" >&2; exit 1; }
done
for field in MinorOSystemVersion MinorSubsystemVersion; do
  grep -Eq "^${field}[[:space:]]+1$" <<<"$headers" || { echo "$field is not 1" >&2; exit 1; }
done
imports=$(sed -n '/DLL Name/,/^$/p' <<<"$headers" | grep -vE '^[[:space:]]*$|vma' |
  awk '/DLL Name/ { dll = $3; next } { print dll ":" $NF }' | sort)
[ -n "$imports" ] || { echo "no imports read from $exe" >&2; exit 1; }
unlisted=$(comm -23 <(echo "$imports") <(sort "$list"))
if [ -n "$unlisted" ]; then
  echo "imports not on the XP SP3 list:" >&2
  echo "$unlisted" >&2
  exit 1
fi
echo "conformance.exe: Windows 5.1, $(wc -l <<<"$imports") imports, all on the list"
