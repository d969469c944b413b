#!/usr/bin/env bash
# Installs what is missing, builds, and runs the gateway in its working folder
# (QLK_HOME, default ~/Quelmark), where it keeps QLK.CFG, users.DB and its logs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release --target quelmark --target qlkpo >/dev/null

home=${QLK_HOME:-$HOME/Quelmark}
mkdir -p "$home"
# A new working folder gets its post office, with the gateway's mailbox "Internet".
[ -e "$home/MAPI.INI" ] || "$root/build/bin/qlkpo" init "$home" >/dev/null

cd "$home"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: running as a service without a window (stop with Ctrl-C)."
  exec "$root/build/bin/quelmark" --headless
fi
exec "$root/build/bin/quelmark"
