#!/bin/bash
# Makes a private test CA and a server certificate signed by it.
#   make_test_certs.sh DIR KIND
# KIND: "good"      for localhost and 127.0.0.1,
#       "otherhost" for other.example only,
#       "expired"   for localhost and 127.0.0.1, valid only in 2020.
# Writes DIR/ca.pem (the anchor a client trusts), DIR/server.pem and
# DIR/server.key (readable by the server's unprivileged processes).
set -eu
dir=$1 kind=$2
ca=$dir/ca
mkdir -p "$ca"
: > "$ca/index.txt"
echo 1000 > "$ca/serial"

case "$kind" in
  good)      names="DNS:localhost,IP:127.0.0.1" dates=(-days 2) ;;
  otherhost) names="DNS:other.example" dates=(-days 2) ;;
  expired)   names="DNS:localhost,IP:127.0.0.1" dates=(-startdate 20200101000000Z -enddate 20200102000000Z) ;;
  *) echo "unknown certificate kind: $kind" >&2; exit 2 ;;
esac

cat > "$ca/ca.cnf" <<CNF
[ca]
default_ca = test_ca
[test_ca]
dir = $ca
database = $ca/index.txt
serial = $ca/serial
new_certs_dir = $ca
default_md = sha256
policy = any
copy_extensions = none
unique_subject = no
[any]
commonName = supplied
[server]
basicConstraints = CA:FALSE
keyUsage = digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $names
CNF

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj "/CN=Quelmark test CA" \
  -keyout "$ca/ca.key" -out "$dir/ca.pem" 2>/dev/null
first=${names%%,*}
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=${first#DNS:}" \
  -keyout "$dir/server.key" -out "$ca/server.csr" 2>/dev/null
openssl ca -batch -config "$ca/ca.cnf" -extensions server -cert "$dir/ca.pem" -keyfile "$ca/ca.key" \
  "${dates[@]}" -in "$ca/server.csr" -out "$dir/server.pem" -notext 2>/dev/null
chmod 644 "$dir/server.key" "$dir/server.pem" "$dir/ca.pem"
