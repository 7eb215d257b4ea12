#!/usr/bin/env bash
# The README's cmd recipe, saved as a .bat with CR LF and run by Wine's cmd
# beside grantright.exe: what its errorlevel branches print and the status
# the batch ends with, for a granted right, a failed grant and a malformed
# command line.
# Usage: cmd_recipe_test.sh <README.md> <grantright.exe>
set -euo pipefail
readme=$1
exe=$2
# shellcheck source-path=SCRIPTDIR source=recipe_lib.sh
source "$(dirname "$0")/recipe_lib.sh"

readme_recipe "$readme" cmd >"$scratch/recipe"
# The recipe grants to svc_backup; each case puts its own account there.
uses=$(awk '{ n += gsub(/-u svc_backup/, "") } END { print n + 0 }' "$scratch/recipe")
expect_eq "times the recipe says -u svc_backup" 1 "$uses"
recipe=$(cat "$scratch/recipe")

cp "$exe" "$scratch/grantright.exe"
cd "$scratch"

# account | exit status of the batch | the line it prints, if any
cases=(
  "Administrators|0|"
  "nosuchaccount|13|could not grant the right "
  "Administrators extra|1|bad command line "
)
for row in "${cases[@]}"; do
  IFS='|' read -r account expected_status expected_line <<<"$row"
  expected_out=${expected_line:+$expected_line$'\r\n'}
  # @echo off makes the batch print only what the recipe echoes.
  { printf '@echo off\r\n'; printf '%s\r\n' "${recipe//-u svc_backup/-u $account}"; } >recipe.bat
  run wine cmd /c recipe.bat
  cat err >&2
  expect_eq "$account: exit status of the batch" "$expected_status" "$status"
  expect_bytes "$account: what the batch printed" "$expected_out" out
done
echo "cmd recipe: ok"
