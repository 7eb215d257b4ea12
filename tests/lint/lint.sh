#!/usr/bin/env bash
# The lint checks, one per call, each failing on any finding:
#   lint.sh shellcheck   <source folder>
#   lint.sh clang-format <source folder>
#   lint.sh clang-tidy   <source folder> <host build folder> [<win32 build folder>]
# The files are the ones Git tracks, so a stray file in a work tree is not
# judged, and a new tracked one cannot escape.
set -euo pipefail
check=$1 source_dir=$2
cd "$source_dir"

tracked() { git ls-files -- "$@"; }

# Every tracked shell script: by its #! line, its .sh name, or a
# "# shellcheck shell=" line for a file that is only sourced.
shell_scripts() {
  local file
  while IFS= read -r file; do
    case "$file" in
      *.sh) echo "$file" ;;
      *)
        if head -n 1 "$file" | grep -qE '^#!.*\b(ba)?sh\b' ||
          head -n 2 "$file" | grep -q '^# shellcheck shell='; then
          echo "$file"
        fi
        ;;
    esac
  done < <(tracked)
}

case "$check" in
  shellcheck)
    mapfile -t files < <(shell_scripts)
    [ "${#files[@]}" -gt 0 ] || { echo "no shell scripts found" >&2; exit 1; }
    shellcheck -x "${files[@]}"
    echo "shellcheck: ${#files[@]} scripts clean"
    ;;
  clang-format)
    mapfile -t files < <(tracked '*.cpp' '*.h')
    [ "${#files[@]}" -gt 0 ] || { echo "no C++ files found" >&2; exit 1; }
    clang-format --dry-run --Werror "${files[@]}"
    echo "clang-format: ${#files[@]} files formatted"
    ;;
  clang-tidy)
    host_build=$3 win32_build=${4:-}
    mapfile -t host_files < <(tracked 'src/*.cpp' | grep -v '^src/platform/win/')
    clang-tidy -p "$host_build" --quiet "${host_files[@]}"
    echo "clang-tidy: ${#host_files[@]} files clean as built for the host"
    if [ -n "$win32_build" ]; then
      # The Windows build's own view of the logic, through MinGW's headers.
      mapfile -t win_files < <(tracked 'src/*.cpp' | grep -v '^src/platform/host/')
      gcc_dir=$(find /usr/lib/gcc/i686-w64-mingw32 -mindepth 1 -maxdepth 1 -name '*-win32' | head -n 1)
      [ -n "$gcc_dir" ] || { echo "no MinGW-w64 (win32 thread model) headers found" >&2; exit 1; }
      clang-tidy -p "$win32_build" --quiet --extra-arg=--target=i686-w64-mingw32 \
        "--extra-arg=-isystem$gcc_dir/include/c++" "--extra-arg=-isystem$gcc_dir/include/c++/i686-w64-mingw32" \
        "${win_files[@]}"
      echo "clang-tidy: ${#win_files[@]} files clean as built for Windows"
    fi
    ;;
  *)
    echo "usage: $0 shellcheck|clang-format|clang-tidy <source folder> [build folders]" >&2
    exit 2
    ;;
esac
