#!/usr/bin/env bash
# Checks a release archive against the sources and the tested executables:
# its name, its entries in order, their modes and time stamps, the README and
# licence as CR LF text, the checksums, and executables identical to the
# tested ones.
# Usage: check_archive.sh <archive> <source folder> <win32 build> <win64 build>
set -euo pipefail
archive=$1 source_dir=$2 win32=$3 win64=$4
fail() { echo "check_archive: $*" >&2; exit 1; }

version=$("$source_dir/scripts/version")
[ "$(basename "$archive")" = "grantright-$version-windows.zip" ] ||
  fail "$(basename "$archive") is not named for version $version"

expected_entries=$'grantright.exe\ngrantright64.exe\nconformance.exe\nREADME.txt\nLICENSE.txt\nSHA256SUMS'
entries=$(unzip -Z1 "$archive")
[ "$entries" = "$expected_entries" ] || fail "entries are"$'\n'"$entries"$'\n'"expected"$'\n'"$expected_entries"

# Every entry: mode -rw-r--r--, the date of the version's changelog entry, no extra fields.
date=$(sed -n "s/^## \[$version\] - \([0-9-]*\)$/\1/p" "$source_dir/CHANGELOG.md")
stamp=$(date -u -d "$date" +%Y%m%d.000000)
while read -r mode _ _ _ _ _ when name; do
  [ "$mode" = "-rw-r--r--" ] || fail "$name has mode $mode"
  [ "$when" = "$stamp" ] || fail "$name is stamped $when, expected $stamp"
done < <(unzip -Z -T "$archive" | grep -v '^Archive:\|^Zip file size\|files\?, [0-9]* bytes')
if unzip -Z -v "$archive" | grep 'length of extra field' | grep -vq ': *0 bytes$'; then
  fail "an entry carries extra fields (owner, unix times)"
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$archive" -d "$unpacked"
cmp "$unpacked/grantright.exe" "$win32/grantright.exe" || fail "grantright.exe is not the tested one"
cmp "$unpacked/grantright64.exe" "$win64/grantright64.exe" || fail "grantright64.exe is not the tested one"
cmp "$unpacked/conformance.exe" "$win32/conformance.exe" || fail "conformance.exe is not the tested one"
for text in README LICENSE; do
  source_file=$source_dir/$text
  [ "$text" = README ] && source_file=$source_dir/README.md
  cmp "$unpacked/$text.txt" <(sed 's/$/\r/' "$source_file") || fail "$text.txt is not $source_file with CR LF line ends"
  if grep -q $'[^\r]$' "$unpacked/$text.txt"; then fail "$text.txt has a line without CR"; fi
done

expected_sums=$'grantright.exe\ngrantright64.exe\nconformance.exe\nREADME.txt\nLICENSE.txt'
[ "$(sed 's/^[0-9a-f]\{64\}  //' "$unpacked/SHA256SUMS")" = "$expected_sums" ] ||
  fail "SHA256SUMS does not list exactly the other entries: $(cat "$unpacked/SHA256SUMS")"
(cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "a checksum does not match"
echo "check_archive: $(basename "$archive") holds the tested executables and checks out"
