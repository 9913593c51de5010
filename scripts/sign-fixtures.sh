#!/usr/bin/env bash
# Makes the signed programs the signature tests check, from one small program
# of ours, with openssl and osslsigncode (no timestamp server: nothing here
# touches the network).
#
#   scripts/sign-fixtures.sh <program.exe> <output folder> [<second program.exe>]
#
# In the output folder:
#   cu-test-root.cer       the test root CA (DER), which the tests add to the
#                          machine's trusted roots
#   signed-by-trusted.exe  signed by "CU Test Publisher", issued by that root,
#                          with the chain included
#   self-signed.exe        signed by the self-signed "CU Self Signed"
#   tampered.exe           signed like signed-by-trusted.exe, then one byte of
#                          the program's data changed
#   unsigned.exe           the program as built
#   signed-test-service.exe
#                          the second program, when given, signed like
#                          signed-by-trusted.exe
# Keys and certificates are made afresh each time and only the root's
# certificate is kept.
set -euo pipefail

program=$1
out=$2
second=${3:-}
mkdir -p "$out"
keys=$(mktemp -d "$out/signing.XXXXXX")
trap 'rm -rf "$keys"' EXIT

# The text in the program's data that tampered.exe changes (see
# tests/win32/fixtures/signature_fixture.cpp).
mark='CU signature fixture: data changed after signing'

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 9000 \
  -subj '/O=Clear Utility Tests/CN=CU Test Root' \
  -addext 'basicConstraints=critical,CA:TRUE' -addext 'keyUsage=critical,keyCertSign,cRLSign' \
  -keyout "$keys/root.key" -out "$keys/root.pem" 2>/dev/null

printf '%s\n' 'basicConstraints=critical,CA:FALSE' 'keyUsage=critical,digitalSignature' \
  'extendedKeyUsage=codeSigning' 'subjectKeyIdentifier=hash' \
  'authorityKeyIdentifier=keyid' >"$keys/publisher.ext"
openssl req -new -newkey rsa:2048 -nodes -sha256 \
  -subj '/O=Clear Utility Tests/CN=CU Test Publisher' \
  -keyout "$keys/publisher.key" -out "$keys/publisher.csr" 2>/dev/null
openssl x509 -req -sha256 -days 8000 -in "$keys/publisher.csr" -CA "$keys/root.pem" \
  -CAkey "$keys/root.key" -set_serial 0x5ec0de01 -extfile "$keys/publisher.ext" \
  -out "$keys/publisher.pem" 2>/dev/null
cat "$keys/publisher.pem" "$keys/root.pem" >"$keys/publisher-chain.pem"

# Without a key usage, so the one fault of its chain is the root nobody
# trusts (with digitalSignature alone Wine also calls it unfit for the usage).
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 8000 -subj '/CN=CU Self Signed' \
  -addext 'extendedKeyUsage=codeSigning' \
  -keyout "$keys/self.key" -out "$keys/self.pem" 2>/dev/null

openssl x509 -in "$keys/root.pem" -outform DER -out "$out/cu-test-root.cer"

sign() {  # <certificates> <key> <output> [<input>]
  rm -f "$3"
  osslsigncode sign -certs "$1" -key "$2" -h sha256 -n 'Clear Utility test program' \
    -in "${4:-$program}" -out "$3" >/dev/null
}

cp "$program" "$out/unsigned.exe"
sign "$keys/publisher-chain.pem" "$keys/publisher.key" "$out/signed-by-trusted.exe"
sign "$keys/self.pem" "$keys/self.key" "$out/self-signed.exe"
if [ -n "$second" ]; then
  sign "$keys/publisher-chain.pem" "$keys/publisher.key" "$out/signed-test-service.exe" "$second"
fi

# One byte of the program's data, well away from the headers and from the
# signature itself, so the file is still a sound program whose digest no
# longer matches.
sign "$keys/publisher-chain.pem" "$keys/publisher.key" "$out/tampered.exe"
offsets=$(grep -obUaF "$mark" "$out/tampered.exe" | cut -d: -f1 || true)
if [ "$(printf '%s\n' "$offsets" | grep -c .)" -ne 1 ]; then
  echo "sign-fixtures: the data mark is not in $program exactly once" >&2
  rm -f "$out/tampered.exe"  # so the next build tries again
  exit 1
fi
printf 'c' | dd of="$out/tampered.exe" bs=1 seek="$offsets" conv=notrunc status=none
