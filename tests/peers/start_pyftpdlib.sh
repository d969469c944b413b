#!/bin/bash
# Starts a private anonymous FTP server (pyftpdlib) for the integration tests.
#   start_pyftpdlib.sh DIR PORT
# Serves DIR/root read-only on 127.0.0.1:PORT to the users "anonymous" and
# "ftp" (no password). Stop it with  kill "$(cat DIR/pyftpdlib.pid)"
set -eu
dir=$1 port=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null || { echo "pyftpdlib not installed" >&2; exit 3; }
mkdir -p "$dir/root"
nohup /usr/bin/python3 "$here/qlk_ftpd.py" "$dir/root" "$port" >"$dir/pyftpdlib.log" 2>&1 &
echo $! > "$dir/pyftpdlib.pid"
wait_for_listener pyftpdlib "$port" "$dir/pyftpdlib.log" "$dir/pyftpdlib.pid"
