#!/bin/bash
# Starts a private Dovecot POP3 server for the integration tests.
#   start_dovecot.sh DIR PORT USER PASSWORD [USER PASSWORD]...
# Everything lives under DIR (configuration, state, log, each user's Maildir
# in DIR/mail/USER); the server listens on 127.0.0.1:PORT only. Settings in
# DIR/extra.conf, when present, are added last (start_dovecot_tls.sh). Stop it with
#   kill "$(cat DIR/run/master.pid)"
set -eu
dir=$1 port=$2
shift 2
uid=65534 gid=65534
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"
. "$here/dovecot_private.sh"

command -v dovecot >/dev/null 2>&1 || { echo "dovecot not installed" >&2; exit 3; }
chmod 755 "$dir"
mkdir -p "$dir/run" "$dir/state"
: > "$dir/passwd"
while [ $# -ge 2 ]; do
  mkdir -p "$dir/mail/$1/new" "$dir/mail/$1/cur" "$dir/mail/$1/tmp"
  printf '%s:{PLAIN}%s\n' "$1" "$2" >> "$dir/passwd"
  shift 2
done
chown -R "$uid:$gid" "$dir/mail"
chmod 644 "$dir/passwd"

cat > "$dir/dovecot.conf" <<CONF
protocols = pop3
$(private_dovecot_settings "$dir")
auth_mechanisms = plain
mail_location = maildir:$dir/mail/%u
default_internal_user = dovenull
default_login_user = dovenull
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN $dir/passwd
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/mail/%u
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
}
service anvil {
  chroot =
}
service imap-login {
  inet_listener imap {
    port = 0
  }
}
!include_try $dir/extra.conf
CONF

dovecot -c "$dir/dovecot.conf"
wait_for_listener dovecot "$port" "$dir/dovecot.log"
