#!/bin/bash
# Starts a private SMTP submission server (aiosmtpd) that requires TLS and a
# log-in as USER with PASSWORD, with a certificate from a test CA.
#   start_aiosmtpd_tls.sh DIR PORT USER PASSWORD KIND starttls|implicit
# Clients trust DIR/ca.pem; messages land as with start_aiosmtpd.sh, each
# envelope beginning with "AUTH:<login>". Stop it with
#   kill "$(cat DIR/aiosmtpd.pid)"
set -eu
dir=$1 port=$2 user=$3 password=$4 kind=$5 mode=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null || { echo "aiosmtpd not installed" >&2; exit 3; }
command -v openssl >/dev/null 2>&1 || { echo "openssl not installed" >&2; exit 3; }
mkdir -p "$dir"
"$here/make_test_certs.sh" "$dir" "$kind"
PYTHONPATH="$here" nohup /usr/bin/python3 "$here/qlk_authsmtpd.py" "$dir" "$port" "$user" "$password" \
  "$dir/server.pem" "$dir/server.key" "$mode" >"$dir/aiosmtpd.log" 2>&1 &
echo $! > "$dir/aiosmtpd.pid"
wait_for_listener aiosmtpd "$port" "$dir/aiosmtpd.log" "$dir/aiosmtpd.pid"
