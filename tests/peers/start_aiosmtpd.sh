#!/bin/bash
# Starts a private aiosmtpd SMTP server for the integration tests.
#   start_aiosmtpd.sh DIR PORT
#   start_aiosmtpd.sh DIR PORT optional|required USER:PASSWORD... -- USER:TOKEN...
# The second form is a relay without TLS listing AUTH PLAIN, LOGIN and
# XOAUTH2 (qlk_authsmtpd.py), each envelope beginning with "AUTH:<login>".
# Received messages land in DIR/new/NNNNNN.eml (bytes as received) with the
# envelope in DIR/new/NNNNNN.env; the server lists SIZE (32 MiB), 8BITMIME
# and SMTPUTF8 and listens on 127.0.0.1:PORT only.
# Stop it with  kill "$(cat DIR/aiosmtpd.pid)"
set -eu
dir=$1 port=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null || { echo "aiosmtpd not installed" >&2; exit 3; }
mkdir -p "$dir"
if [ $# -gt 2 ]; then
  # A relay that lists AUTH: qlk_authsmtpd.py's arguments after DIR PORT.
  PYTHONPATH="$here" nohup /usr/bin/python3 "$here/qlk_authsmtpd.py" "$@" >"$dir/aiosmtpd.log" 2>&1 &
else
  PYTHONPATH="$here" nohup /usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$port" -s 33554432 -u \
    -c qlk_rawsink.RawSink "$dir" >"$dir/aiosmtpd.log" 2>&1 &
fi
echo $! > "$dir/aiosmtpd.pid"
wait_for_listener aiosmtpd "$port" "$dir/aiosmtpd.log" "$dir/aiosmtpd.pid"
