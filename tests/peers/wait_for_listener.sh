# Sourced by the peer scripts. wait_for_listener NAME PORT LOG [PIDFILE]
# returns once 127.0.0.1:PORT accepts a connection, or prints LOG and exits 1
# after ten seconds, or at once when the process in PIDFILE has died.
wait_for_listener() {
  local name=$1 port=$2 log=$3 pidfile=${4:-} i=0
  while [ $i -lt 100 ]; do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
    if [ -n "$pidfile" ] && ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then break; fi
    i=$((i + 1))
    sleep 0.1
  done
  echo "$name did not start; log:" >&2
  cat "$log" >&2 || true
  exit 1
}
