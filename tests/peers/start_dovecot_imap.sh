#!/bin/bash
# Starts a private Dovecot that serves a post office over IMAP with the
# recipe the package ships (resources/dovecot-quelmark.conf), for the tests.
#   start_dovecot_imap.sh DIR PORT RECIPE PASSWD_FILE
# The recipe's passwd-file is PASSWD_FILE here; configuration, state and log
# live under DIR and the server listens on 127.0.0.1:PORT only. Its auth
# process runs as the user "dovecot", as a system Dovecot's does. Stop it with
#   kill "$(cat DIR/run/master.pid)"
set -eu
dir=$1 port=$2 recipe=$3 passwd=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"
. "$here/dovecot_private.sh"

command -v dovecot >/dev/null 2>&1 || { echo "dovecot not installed" >&2; exit 3; }
[ -x /usr/lib/dovecot/imap ] || { echo "dovecot-imapd not installed" >&2; exit 3; }
chmod 755 "$dir"
mkdir -p "$dir/run" "$dir/state"
sed "s|/etc/dovecot/quelmark.passwd|$passwd|g" "$recipe" >"$dir/quelmark.conf"

cat >"$dir/dovecot.conf" <<CONF
protocols = imap
$(private_dovecot_settings "$dir")
# Refused log-ins are answered at once: the tests try one on purpose.
auth_failure_delay = 0
default_login_user = dovenull
service imap-login {
  chroot =
  inet_listener imap {
    address = 127.0.0.1
    port = $port
  }
  inet_listener imaps {
    port = 0
  }
}
service anvil {
  chroot =
}
!include $dir/quelmark.conf
CONF

dovecot -c "$dir/dovecot.conf"
wait_for_listener dovecot "$port" "$dir/dovecot.log"
