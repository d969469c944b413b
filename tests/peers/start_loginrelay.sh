#!/bin/bash
# Starts a private aiosmtpd relay without TLS that lists AUTH PLAIN, LOGIN and
# XOAUTH2 (qlk_authsmtpd.py): "optional" takes mail without a log-in,
# "required" answers MAIL FROM with 530 until one.
#   start_loginrelay.sh DIR PORT optional|required USER:PASSWORD... -- USER:TOKEN...
# Messages land as with start_aiosmtpd.sh, each envelope beginning with
# "AUTH:<login>". Stop it with  kill "$(cat DIR/aiosmtpd.pid)"
set -eu
dir=$1 port=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null || { echo "aiosmtpd not installed" >&2; exit 3; }
mkdir -p "$dir"
PYTHONPATH="$here" nohup /usr/bin/python3 "$here/qlk_authsmtpd.py" "$dir" "$port" "$@" \
  >"$dir/aiosmtpd.log" 2>&1 &
echo $! > "$dir/aiosmtpd.pid"
wait_for_listener aiosmtpd "$port" "$dir/aiosmtpd.log" "$dir/aiosmtpd.pid"
