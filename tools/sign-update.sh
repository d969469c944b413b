#!/bin/sh
# Signs releases of the gateway for its update check (Ed25519, OpenSSL).
#
#   tools/sign-update.sh genkey KEY.pem       a new signing key; keep it secret
#   tools/sign-update.sh pubkey KEY.pem       the public key to build with:
#                                             cmake -DQLK_UPDATE_PUBLIC_KEY=<printed text>
#   tools/sign-update.sh sign KEY.pem FILE    writes FILE.sig (64 bytes) beside FILE
#   tools/sign-update.sh verify PUBKEY FILE   checks FILE.sig against a printed public key
#
# Publish FILE as qlk/qlkupdt.exe and FILE.sig as qlk/qlkupdt.exe.sig on the
# update server, then the new version number as the first line of
# qlk/version.txt.
set -eu

usage() {
    sed -n '2,9p' "$0" >&2
    exit 2
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
sign)
    [ $# -eq 3 ] || usage
    openssl pkeyutl -sign -rawin -inkey "$key" -in "$3" -out "$3.sig"
    ;;
verify)
    [ $# -eq 3 ] || usage
    der=$(mktemp)
    trap 'rm -f "$der"' EXIT
    printf '%s' "$key" | base64 -d >"$der"
    openssl pkeyutl -verify -rawin -pubin -keyform DER -inkey "$der" -in "$3" -sigfile "$3.sig"
    ;;
*)
    usage
    ;;
esac
