#!/usr/bin/env bash
# Installs what Quelmark needs to build, test and run on Debian, and nothing
# when it is all there already. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev libqt6printsupport6 qt6-qpa-plugins
  libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  libssl-dev openssl libgmime-3.0-dev unrtf libc-ares-dev
  libcurl4-openssl-dev nlohmann-json3-dev
  dovecot-pop3d python3-aiosmtpd python3-pyftpdlib fetchmail procmail msmtp mpop curl
  time locales
  dpkg-dev lintian scdoc desktop-file-utils appstream dovecot-imapd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
