#!/usr/bin/env bash
# Packs the tested executables twice into release archives, which must be the
# same bytes, and checks the archive.
# Usage: archive.sh <source folder> <win32 build> <win64 build>
set -euo pipefail
source_dir=$1 win32=$2 win64=$3
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$("$source_dir/scripts/version")
name=grantright-$version-windows.zip

"$source_dir/scripts/package" "$win32" "$win64" "$work/one/$name"
sleep 1  # a time stamp taken from the clock would now differ
"$source_dir/scripts/package" "$win32" "$win64" "$work/two/$name"
cmp "$work/one/$name" "$work/two/$name"
"$here/check_archive.sh" "$work/one/$name" "$source_dir" "$win32" "$win64"
