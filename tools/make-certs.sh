#!/usr/bin/env bash
# Creates, once, a local certificate authority and a server certificate for
# localhost, 127.0.0.1 and ::1, signed by it. The files stay in the data folder
# (never committed):
#   ca.pem      the authority's certificate; the client build trusts it
#   ca.key      the authority's key; it signs nothing else
#   server.pem  the server certificate followed by ca.pem
#   server.key  the server's key
# Usage: tools/make-certs.sh [dir]   (default: data/certs)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-data/certs}
if [ -s "$dir/ca.pem" ] && [ -s "$dir/server.pem" ] && [ -s "$dir/server.key" ]; then
  exit 0
fi
mkdir -p "$dir"
chmod 700 "$dir"
umask 077
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

openssl ecparam -name prime256v1 -genkey -noout -out "$dir/ca.key"
openssl req -x509 -new -key "$dir/ca.key" -sha256 -days 3650 \
  -subj "/O=Orvantis local/CN=Orvantis local development CA" \
  -addext "basicConstraints=critical,CA:TRUE,pathlen:0" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -addext "subjectKeyIdentifier=hash" \
  -out "$dir/ca.pem"

openssl ecparam -name prime256v1 -genkey -noout -out "$dir/server.key"
openssl req -new -key "$dir/server.key" -subj "/O=Orvantis local/CN=localhost" -out "$tmp/server.csr"
cat > "$tmp/server.ext" <<'EXT'
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1
authorityKeyIdentifier=keyid
subjectKeyIdentifier=hash
EXT
openssl x509 -req -in "$tmp/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
  -CAcreateserial -CAserial "$tmp/ca.srl" -sha256 -days 825 \
  -extfile "$tmp/server.ext" -out "$tmp/server-only.pem"
cat "$tmp/server-only.pem" "$dir/ca.pem" > "$dir/server.pem"
chmod 644 "$dir/ca.pem" "$dir/server.pem"
echo "Certificates created in $dir"
