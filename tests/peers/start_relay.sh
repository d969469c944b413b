#!/bin/bash
# Starts a private aiosmtpd relay for the round-trip tests.
#   start_relay.sh DIR PORT MAILDIR [SIZE]
# Every message accepted goes into MAILDIR (new/) and, with its envelope,
# into DIR/sent/; recipients beginning "refused" get a 550. It lists SIZE
# (SIZE bytes at most, 32 MiB by default), 8BITMIME and SMTPUTF8. Listens on
# 127.0.0.1:PORT only. Stop it with  kill "$(cat DIR/relay.pid)"
set -eu
dir=$1 port=$2 maildir=$3 size=${4:-33554432}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null || { echo "aiosmtpd not installed" >&2; exit 3; }
mkdir -p "$dir"
PYTHONPATH="$here" nohup /usr/bin/python3 -m aiosmtpd -n -l "127.0.0.1:$port" -s "$size" -u \
  -c qlk_maildirrelay.MaildirRelay "$dir" "$maildir" >"$dir/relay.log" 2>&1 &
echo $! > "$dir/relay.pid"
wait_for_listener relay "$port" "$dir/relay.log" "$dir/relay.pid"
