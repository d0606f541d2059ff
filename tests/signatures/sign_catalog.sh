#!/bin/sh
# Signs a test catalog as a publisher would, with a throwaway self-signed certificate
# (made once per key base, with the code-signing and WHQL usages), and checks the result
# with osslsigncode's own reading.
#   sign_catalog.sh KEYBASE "KEY ARGS" "COMMON NAME" UNSIGNED.cat SIGNED.cat [sha1|sha256]
# KEY ARGS as openssl req takes them: "-newkey rsa:2048", "-newkey ec -pkeyopt ec_paramgen_curve:P-256".
set -eu
base=$1 keyargs=$2 name=$3 in=$4 out=$5 hash=${6:-sha256}
if [ ! -f "$base.pem" ]; then
  # shellcheck disable=SC2086
  openssl req -x509 $keyargs -nodes -days 30 -utf8 -keyout "$base.key" -out "$base.pem" \
    -subj "/CN=$name/O=Qelvaro Tests" -addext 'extendedKeyUsage=codeSigning,1.3.6.1.4.1.311.10.3.5' >/dev/null 2>&1
fi
osslsigncode sign -certs "$base.pem" -key "$base.key" -h "$hash" -in "$in" -out "$out" >/dev/null
# osslsigncode reads catalogs back from 2.8 on; an older one (bookworm's own 2.5)
# signs them alike, and the catalog is then used without this check.
version=$(osslsigncode --version 2>/dev/null | sed -n 's/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p' | head -n 1)
if [ -n "$version" ] && [ "${version% *}" -gt 2 ] || { [ "${version% *}" = 2 ] && [ "${version#* }" -ge 8 ]; }; then
  osslsigncode verify -in "$out" -CAfile "$base.pem" >/dev/null
fi
