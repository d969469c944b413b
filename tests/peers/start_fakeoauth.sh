#!/bin/bash
# Starts the fake OAuth 2.0 authorization server for the token tests.
#   start_fakeoauth.sh DIR PORT [forge-state]
# Listens on 127.0.0.1:PORT only. Stop it with  kill "$(cat DIR/oauth.pid)"
set -eu
dir=$1 port=$2 mode=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

mkdir -p "$dir"
nohup /usr/bin/python3 "$here/qlk_fakeoauth.py" "$dir" "$port" $mode >"$dir/oauth.log" 2>&1 &
echo $! > "$dir/oauth.pid"
wait_for_listener oauth "$port" "$dir/oauth.log" "$dir/oauth.pid"
