# shellcheck shell=bash
# Sourced by the recipe tests (which set -euo pipefail): reading a recipe
# out of README.md, a scratch folder that goes away, Windows paths, and
# checks that stop the script.

: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Prints the fenced block that follows the line "<!-- recipe: NAME -->" in
# the README, without its fences; fails when the marker, the block or its end
# is missing, or the block is empty.
readme_recipe() {
  local readme=$1 name=$2
  awk -v marker="<!-- recipe: $name -->" '
    state == 0 && $0 == marker { state = 1; next }
    state == 1 { if ($0 ~ /^```/) { state = 2; next } exit 3 }
    state == 2 { if ($0 ~ /^```/) { state = 3; exit } print; lines++ }
    END { if (state != 3 || lines == 0) exit 3 }' "$readme" ||
    fail "$readme has no fenced block right after <!-- recipe: $name -->"
}

expect_eq() {
  local what=$1 expected=$2 actual=$3
  if [ "$expected" != "$actual" ]; then
    fail "$what: expected [$expected], got [$actual]"
  fi
}

# The file must hold exactly these bytes.
expect_bytes() {
  local what=$1 expected=$2 file=$3
  printf '%s' "$expected" >"$scratch/expected"
  cmp -s "$scratch/expected" "$file" || {
    echo "expected:" >&2
    od -c "$scratch/expected" >&2
    echo "got:" >&2
    od -c "$file" >&2
    fail "$what"
  }
}

# The Windows name of a host path, through Wine's Z: drive.
windows_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

# Runs a command with no input and its output in $scratch/out and
# $scratch/err (files, so that no Wine process can hold a pipe open), and
# leaves its exit status in $status.
# shellcheck disable=SC2034  # status is read by the caller
run() {
  status=0
  "$@" </dev/null >"$scratch/out" 2>"$scratch/err" || status=$?
}

# A test that leaves more behind than the scratch folder redefines this.
cleanup() {
  rm -rf "$scratch"
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/grantright-recipe.XXXXXX")
trap cleanup EXIT
