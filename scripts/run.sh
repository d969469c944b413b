#!/usr/bin/env bash
# Installs what is missing, builds, and runs the gateway in its working folder
# (QLK_HOME, default ~/Quelmark), where it keeps QLK.CFG, users.DB and its logs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release --target quelmark >/dev/null

home=${QLK_HOME:-$HOME/Quelmark}
mkdir -p "$home"
# The button images are read from the working folder; give a new one ours.
for image in go.bmp stop.bmp; do
  [ -e "$home/$image" ] || cp "$root/resources/share/$image" "$home/$image" 2>/dev/null || true
done

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: running without a window (stop with Ctrl-C)."
  export QT_QPA_PLATFORM=offscreen
fi
cd "$home"
exec "$root/build/bin/quelmark"
