#!/usr/bin/env bash
# Builds the Debian package from the release build and checks it: the desktop
# entry and AppStream metadata with their validators, the package with
# lintian (any error fails). Prints the package's path last.
#   scripts/package.sh        -> build/quelmark_VERSION_ARCH.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release --target quelmark --target qlkpo --target qlkmsg --target qlk_docs >/dev/null
[ -f "$root/build/docs/quelmark.1.gz" ] || { echo "package.sh: no manual pages were built (scdoc?)" >&2; exit 1; }

desktop-file-validate "$root/resources/org.quelmark.Quelmark.desktop"
appstreamcli validate --no-net --explain "$root/resources/org.quelmark.Quelmark.metainfo.xml" >&2

cd "$root/build"
rm -f quelmark_*.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
deb=$(ls quelmark_*.deb)
dpkg-deb --info "$deb" >&2
# Lintian: Debian's checks of a binary package.
lintian --fail-on error --tag-display-limit 0 "$deb" >&2
echo "$root/build/$deb"
