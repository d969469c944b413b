#!/bin/sh
# Signs releases of the gateway for its update check (Ed25519, OpenSSL).
#
#   tools/sign-update.sh genkey KEY.pem                 a new signing key; keep it secret
#   tools/sign-update.sh pubkey KEY.pem                 the public key to build with:
#                                                       cmake -DQLK_UPDATE_PUBLIC_KEY=<printed text>
#   tools/sign-update.sh manifest KEY.pem VERSION FILE  prints the signed version file for FILE
#   tools/sign-update.sh verify PUBKEY MANIFEST FILE    checks MANIFEST and FILE against a printed public key
#
# Publish FILE as qlk/qlkupdt.exe on the update server first, then the
# printed manifest as qlk/version.txt.
set -eu

usage() {
    sed -n '2,11p' "$0" >&2
    exit 2
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The version file without its signature line: version, size and SHA-256.
body() {
    printf '%s\nsize %s\nsha256 %s\n' "$1" "$(wc -c <"$2" | tr -d ' ')" "$(sha256sum "$2" | cut -d' ' -f1)"
}

[ $# -ge 2 ] || usage
command=$1 key=$2
case "$command" in
genkey)
    [ ! -e "$key" ] || { echo "$key exists; not overwritten" >&2; exit 1; }
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$key")
    ;;
pubkey)
    openssl pkey -in "$key" -pubout -outform DER | base64 -w0
    echo
    ;;
manifest)
    [ $# -eq 4 ] || usage
    [ -n "$3" ] && [ "$(printf '%s' "$3" | wc -l)" -eq 0 ] || { echo "the version is one line, e.g. 8.33" >&2; exit 2; }
    body "$3" "$4" >"$scratch/body"
    openssl pkeyutl -sign -rawin -inkey "$key" -in "$scratch/body" -out "$scratch/sig"
    cat "$scratch/body"
    printf 'signature %s\n' "$(base64 -w0 "$scratch/sig")"
    ;;
verify)
    [ $# -eq 4 ] || usage
    printf '%s' "$key" | base64 -d >"$scratch/key.der"
    grep -v '^signature ' "$3" >"$scratch/body"
    grep '^signature ' "$3" | cut -d' ' -f2 | base64 -d >"$scratch/sig"
    openssl pkeyutl -verify -rawin -pubin -keyform DER -inkey "$scratch/key.der" \
        -in "$scratch/body" -sigfile "$scratch/sig"
    body "$(head -n1 "$scratch/body")" "$4" | cmp -s - "$scratch/body" ||
        { echo "$4 does not match the manifest" >&2; exit 1; }
    ;;
*)
    usage
    ;;
esac
