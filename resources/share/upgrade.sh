#!/bin/sh
# Installs a downloaded update of the gateway and starts it again.
#   upgrade.sh NEW_PROGRAM PROGRAM PID
# The gateway runs it from its working folder just before it ends. The
# script waits for process PID to end (at most a minute), keeps PROGRAM as
# PROGRAM.old, puts NEW_PROGRAM in its place and starts PROGRAM in the same
# working folder. What it does is noted in upgrade.log there.
set -u
new=$1 program=$2 pid=${3:-}
log=upgrade.log

note() {
    echo "$(date '+%Y-%m-%d %H:%M:%S') $*" >>"$log"
}

if [ -n "$pid" ]; then
    tries=0
    while kill -0 "$pid" 2>/dev/null; do
        tries=$((tries + 1))
        if [ $tries -gt 600 ]; then
            note "the gateway (process $pid) did not end; $program not replaced"
            exit 1
        fi
        sleep 0.1
    done
fi

if [ ! -s "$new" ]; then
    note "$new is missing; $program not replaced"
elif ! cp -p "$program" "$program.old"; then
    note "cannot keep $program as $program.old; not replaced"
else
    # The new program goes in beside the old one and is renamed over it, so
    # that a failure never leaves a half-copied program.
    part="$program.new.$$"
    if cp "$new" "$part" && chmod 755 "$part" && mv -f "$part" "$program"; then
        rm -f "$new"
        note "installed $program; the previous version is $program.old"
    else
        rm -f "$part"
        note "cannot replace $program; the previous version stays"
    fi
fi

nohup "$program" >/dev/null 2>&1 &
