#!/usr/bin/env bash
# The README's WiX recipe in a whole package built by wixl, installed under
# Wine with msiexec /qn into a scratch folder: the install's exit status, and
# whether the installed files stay (granted) or are rolled back (failed).
# Usage: msi_recipe_test.sh <README.md> <grantright.exe>
set -euo pipefail
readme=$1
exe=$2
# shellcheck source-path=SCRIPTDIR source=recipe_lib.sh
source "$(dirname "$0")/recipe_lib.sh"

readme_recipe "$readme" wix >"$scratch/recipe.xml"
cp "$exe" "$scratch/grantright.exe"
cd "$scratch"
# What the recipe needs around it: a product that installs grantright.exe as
# the File element the recipe's FileKey names. New product and component
# codes each run, so that nothing an earlier run left in the prefix counts as
# this product or holds a reference to its file.
component_guid=$(cat /proc/sys/kernel/random/uuid)
{
  cat <<WXS
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="grantright recipe" Language="1033" Version="1.0.0" Manufacturer="grantright tests"
           UpgradeCode="6c0a3b1e-4d1f-4a57-9d2b-3f1f0e7a9c11">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" />
    <Media Id="1" Cabinet="recipe.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="INSTALLFOLDER" Name="grantright">
        <Component Id="Tool" Guid="$component_guid">
          <File Id="GrantrightExe" Name="grantright.exe" Source="grantright.exe" KeyPath="yes" />
        </Component>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Tool" /></Feature>
WXS
  cat recipe.xml
  cat <<'WXS'
  </Product>
</Wix>
WXS
} >recipe.wxs
run wixl -o recipe.msi recipe.wxs
cat out err >&2
expect_eq "wixl exit status" 0 "$status"

# Installs for an account into a folder that does not exist yet, and notes
# the folder of an install that succeeded (even one that should have failed).
install() {
  local account=$1 folder=$2
  run wine msiexec /i recipe.msi /qn "INSTALLFOLDER=$(windows_path "$folder")\\" "SERVICEACCOUNT=$account"
  cat out >&2
  if [ "$status" = 0 ]; then
    installed=$folder
  fi
}

# Wine's msiexec does not remember where the product went: the uninstall is
# told again.
uninstall() {
  local folder=$1
  run wine msiexec /x recipe.msi /qn "INSTALLFOLDER=$(windows_path "$folder")\\"
  cat out err >&2
  if [ "$status" = 0 ]; then
    installed=
  fi
}

# Should a check fail while the product is installed, it must not stay in
# the shared prefix. (Wine's msiexec /x of a product that is not installed
# installs it, so only an installed one is removed here.)
installed=
cleanup() {
  if [ -n "$installed" ]; then
    (cd "$scratch" && uninstall "$installed") || true
  fi
  rm -rf "$scratch"
}

# The unknown account first: once this product is installed, the recipe's
# condition (NOT Installed) would skip the action.
install nosuchaccount "$scratch/failed"
cat err >&2
# Windows fails an install whose custom action fails with 1603; Wine's
# msiexec says 1627. Both reach the shell modulo 256.
case $status in
  $((1603 % 256)) | $((1627 % 256))) ;;
  *) fail "unknown account: install exit status $status, expected 1603 or 1627 modulo 256" ;;
esac
# Wine hands the action grantright's standard error: the failure is the recipe's.
grep -q "^GetAccountSid error!" err || fail "unknown account: grantright did not report the failed lookup"
if [ -e "$scratch/failed" ]; then
  find "$scratch/failed" >&2
  fail "unknown account: the installed files were not rolled back"
fi

install Administrators "$scratch/granted"
expect_bytes "granted: what the install wrote to standard error" "" err
expect_eq "granted: install exit status" 0 "$status"
[ -f "$scratch/granted/grantright.exe" ] || fail "granted: grantright.exe is not installed"

uninstall "$scratch/granted"
expect_eq "uninstall exit status" 0 "$status"
if [ -e "$scratch/granted/grantright.exe" ]; then
  fail "uninstall left grantright.exe behind"
fi
echo "MSI recipe: ok"
