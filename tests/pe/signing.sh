#!/usr/bin/env bash
# Signs the executable with a throwaway self-signed certificate through the
# build's sign target, verifies the signature, and runs the file checks that
# do not concern its bytes on the signed copy.
set -euo pipefail
build_dir=$1 exe_name=$2 pe_tests=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=grantright test signing" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
printf 'throwaway-%s' "$$" >"$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signing.pfx" \
  -passout "file:$work/password"

# Signing must leave the unsigned file as built: bring it up to date, then
# keep a copy to compare with.
cmake --build "$build_dir" --target grantright
unsigned="$build_dir/$exe_name"
cp "$unsigned" "$work/unsigned-before"

GRANTRIGHT_SIGN_PKCS12="$work/signing.pfx" GRANTRIGHT_SIGN_PASSWORD_FILE="$work/password" \
  cmake --build "$build_dir" --target sign
signed="$build_dir/signed/$exe_name"

osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" | tee "$work/verify.log"
grep -q "Signature verification: ok" "$work/verify.log"
# The signature is appended: the signed file differs from the unsigned one,
# which is byte for byte what it was before signing.
if cmp -s "$signed" "$unsigned"; then
  echo "signed file is the same as the unsigned one: $signed" >&2
  exit 1
fi
cmp "$work/unsigned-before" "$unsigned"

"$pe_tests" --exe="$signed" "$@"
