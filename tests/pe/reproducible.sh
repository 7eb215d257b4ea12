#!/usr/bin/env bash
# Builds the executable twice, from copies of the sources in two unrelated
# folders into build folders at different paths, and fails unless both are
# byte for byte the same as each other and as the one under test.
set -euo pipefail
source_dir=$1 toolchain_name=$(basename "$2") exe=$3 tested=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {  # <copy of the sources> <build folder>
  mkdir -p "$1"
  (cd "$source_dir" && tar -c --exclude=./build --exclude=./.git .) | tar -x -C "$1"
  cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$1/cmake/$toolchain_name" >/dev/null
  cmake --build "$2" --target grantright >/dev/null
}

build "$work/a/src" "$work/a/build"
build "$work/second/copy/of/grantright" "$work/elsewhere/b-build"
cmp "$work/a/build/$exe" "$work/elsewhere/b-build/$exe"
cmp "$work/a/build/$exe" "$tested"
echo "reproducible: $exe ($(stat -c %s "$tested") bytes) built identically in three places"
