#!/usr/bin/env bash
# The README's NSIS recipe in a whole silent installer built by makensis and
# run under Wine with /S: the installer copies grantright.exe into $INSTDIR,
# runs the recipe for its account and writes what $0 was to a file.
# Usage: nsis_recipe_test.sh <README.md> <grantright.exe>
set -euo pipefail
readme=$1
exe=$(realpath "$2")
# shellcheck source-path=SCRIPTDIR source=recipe_lib.sh
source "$(dirname "$0")/recipe_lib.sh"

readme_recipe "$readme" nsis >"$scratch/recipe.nsh"
cd "$scratch"
# What the recipe needs around it: Unicode, $ServiceAccount, grantright.exe
# in $INSTDIR (left out when NO_EXE is defined), and a way to see $0.
cat >recipe.nsi <<'NSI'
Unicode true
OutFile "nsis-recipe.exe"
RequestExecutionLevel user
Var ServiceAccount
Section
  SetOutPath "$INSTDIR"
  !ifndef NO_EXE
    File "/oname=grantright.exe" "${EXE}"
  !endif
  StrCpy $ServiceAccount "${ACCOUNT}"
  !include "recipe.nsh"
  FileOpen $1 "$INSTDIR\exit-status" w
  FileWrite $1 "$0"
  FileClose $1
SectionEnd
NSI

# case | account | makensis option | $0 as the installer saw it
cases=(
  "granted|Administrators||0"
  "unknown account|nosuchaccount||13"
  "grantright.exe missing|Administrators|-DNO_EXE|none"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name account option expected <<<"$row"
  # -WX: a warning about the recipe (an unused variable, say) fails the test.
  run makensis -V2 -WX "-DEXE=$exe" "-DACCOUNT=$account" ${option:+"$option"} recipe.nsi
  cat out err >&2
  expect_eq "$name: makensis exit status" 0 "$status"
  instdir=$scratch/install-${name// /-}
  run wine nsis-recipe.exe /S "/D=$(windows_path "$instdir")"
  cat out err >&2
  # The recipe reports a failure and carries on, so the install succeeds.
  expect_eq "$name: installer exit status" 0 "$status"
  [ -f "$instdir/exit-status" ] || fail "$name: the installer wrote no exit-status"
  expect_eq "$name: \$0 after the recipe" "$expected" "$(cat "$instdir/exit-status")"
done
echo "NSIS recipe: ok"
