#!/usr/bin/env bash
# Runs scripts/release in two copies of the sources at unrelated paths: each
# archive must hold the tested executables byte for byte (so builds from
# other paths give the same bytes) and check out, and both must be the same
# bytes as each other and as the archive packed from the tested executables.
# Usage: reproducible.sh <source folder> <win32 build> <win64 build>
set -euo pipefail
source_dir=$1 win32=$2 win64=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
version=$("$source_dir/scripts/version")
name=grantright-$version-windows.zip

release() {  # <copy of the sources>
  mkdir -p "$1"
  (cd "$source_dir" && tar -c --exclude=./build --exclude=./dist --exclude=./.git .) | tar -x -C "$1"
  "$1/scripts/release" >/dev/null 2>&1 || { echo "scripts/release failed in $1" >&2; exit 1; }
}
release "$work/a/grantright"
release "$work/some/other/place/src"
for copy in "$work/a/grantright" "$work/some/other/place/src"; do
  "$here/check_archive.sh" "$copy/dist/$name" "$source_dir" "$win32" "$win64"
done
cmp "$work/a/grantright/dist/$name" "$work/some/other/place/src/dist/$name"
"$source_dir/scripts/package" "$win32" "$win64" "$work/tested/$name"
cmp "$work/a/grantright/dist/$name" "$work/tested/$name"
echo "reproducible: $name ($(sha256sum <"$work/tested/$name" | cut -c1-64)) the same from two copies and from the tested files"
