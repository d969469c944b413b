#!/bin/bash
# Installs the Debian package into the system, uses the installed programs
# from a scratch folder against local peers, removes the package, and checks
# that nothing of it is left but the office's working folder.
#   install_check.sh PACKAGE.deb
# Needs root. Exit status 0 when every check holds, 1 when one fails, 3 when
# it cannot run here (not root, or a quelmark package installed already,
# which it will not touch).
set -euo pipefail
deb=$(realpath "$1")
peers=$(cd "$(dirname "$0")/../peers" && pwd)

skip() { echo "install_check: skipped: $*" >&2; exit 3; }
fail() { echo "install_check: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
dpkg-query -W -f='${Status}' quelmark 2>/dev/null | grep -q "ok installed" &&
  skip "a quelmark package is installed on this machine already"

scratch=$(mktemp -d)
chmod 755 "$scratch"
cleanup() {
  for pidfile in "$scratch/pop/run/master.pid" "$scratch/smtp/aiosmtpd.pid"; do
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null || true
  done
  dpkg-query -W quelmark >/dev/null 2>&1 && dpkg --purge quelmark >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
leftovers() {
  find /usr /etc /opt /var/lib /var/cache -xdev \( -iname '*quelmark*' -o -iname 'qlk*' \) 2>/dev/null | sort
}

leftovers >"$scratch/before"
echo "-- installing $(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 ||
  { cat "$scratch/apt.log"; fail "the package does not install"; }

# From here on only installed files: no build tree on the path.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
[ "$(command -v quelmark)" = /usr/bin/quelmark ] || fail "quelmark is not /usr/bin/quelmark"
[ "$(quelmark --version)" = "Quelmark 8.32" ] || fail "quelmark --version says: $(quelmark --version)"
quelmark --help | grep -q -- "--headless" || fail "quelmark --help does not name --headless"
for file in /usr/bin/qlkpo /usr/bin/qlkmsg /usr/share/quelmark/help/index.html /usr/share/quelmark/upgrade.sh \
    /usr/share/man/man1/quelmark.1.gz /usr/share/man/man1/qlkpo.1.gz /usr/share/man/man1/qlkmsg.1.gz \
    /usr/share/applications/org.quelmark.Quelmark.desktop /usr/share/metainfo/org.quelmark.Quelmark.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/org.quelmark.Quelmark.svg /usr/lib/systemd/user/quelmark.service \
    /usr/share/doc/quelmark/copyright /usr/share/doc/quelmark/examples/dovecot-quelmark.conf; do
  [ -f "$file" ] || fail "$file is not installed"
done
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no /usr/lib/systemd/user/quelmark.service || fail "systemd finds fault with the unit"
fi

echo "-- using the installed programs against local Dovecot and aiosmtpd"
pop=$(free_port) smtp=$(free_port)
mkdir "$scratch/pop" "$scratch/smtp"
"$peers/start_dovecot.sh" "$scratch/pop" "$pop" alice pw-alice >"$scratch/pop.log" 2>&1 ||
  { cat "$scratch/pop.log"; fail "Dovecot did not start"; }
"$peers/start_aiosmtpd.sh" "$scratch/smtp" "$smtp" >"$scratch/smtp.log" 2>&1 ||
  { cat "$scratch/smtp.log"; fail "aiosmtpd did not start"; }
printf 'From: Bob <bob@example.org>\r\nTo: alice@example.org\r\nSubject: Welcome to the installed gateway\r\n\r\nHello.\r\n' \
  >"$scratch/pop/mail/alice/new/1700000000.M1P1.install"
chown 65534:65534 "$scratch/pop/mail/alice/new/1700000000.M1P1.install"

work=$scratch/office
qlkpo init "$work" >/dev/null
qlkpo -C "$work" add "Alice Smith" --password secret
cd "$work"
quelmark --once 2>first.log || true  # a new folder: the first start writes QLK.CFG and users.DB
[ -f QLK.CFG ] && [ -f users.DB ] || fail "the first start wrote no QLK.CFG or users.DB"
sed -i "/^SMTP Server\r\$/{n;s/.*/127.0.0.1:$smtp\r/}" QLK.CFG
sqlite3 users.DB "INSERT INTO users VALUES ('Alice Smith', 'Alice Smith', '127.0.0.1:$pop', 'alice', 'pw-alice',
                  'alice@example.org', 1, 0, '')"
qlkpo send --from "Alice Smith" --to Internet --subject "TO:bob@example.org|Sent by the package" --text "Hello Bob."
quelmark --once 2>once.log || { cat once.log; fail "quelmark --once logged an error"; }
grep -l "Subject: Sent by the package" "$scratch"/smtp/new/*.eml >/dev/null 2>&1 ||
  { cat once.log; fail "the relay did not receive the post office's message"; }
qlkpo inbox "Alice Smith" | grep -q "Welcome to the installed gateway" ||
  { cat once.log; fail "the POP3 message is not in the post office"; }
cd /

echo "-- removing the package"
dpkg --purge quelmark >"$scratch/purge.log" 2>&1 || { cat "$scratch/purge.log"; fail "dpkg --purge failed"; }
leftovers >"$scratch/after"
diff "$scratch/before" "$scratch/after" || fail "files of the package are left behind"
[ -f "$work/QLK.CFG" ] && [ -f "$work/postoffice/Alice Smith/.password" ] || fail "the working folder went with the package"
echo "install_check: package installed, used and removed"
