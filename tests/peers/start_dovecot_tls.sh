#!/bin/bash
# Starts a private Dovecot that requires TLS: STLS on the POP3 port, TLS from
# the first byte on the POP3S port, with a certificate from a test CA.
#   start_dovecot_tls.sh DIR PORT USER PASSWORD POP3S_PORT KIND
# KIND is a make_test_certs.sh kind (good, otherhost, expired); clients trust
# DIR/ca.pem. Everything else as start_dovecot.sh.
set -eu
dir=$1 port=$2 user=$3 password=$4 pop3s_port=$5 kind=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

command -v openssl >/dev/null 2>&1 || { echo "openssl not installed" >&2; exit 3; }
"$here/make_test_certs.sh" "$dir" "$kind"
cat > "$dir/extra.conf" <<CONF
ssl = required
ssl_cert = <$dir/server.pem
ssl_key = <$dir/server.key
ssl_min_protocol = TLSv1.2
service pop3-login {
  inet_listener pop3s {
    address = 127.0.0.1
    port = $pop3s_port
    ssl = yes
  }
}
CONF
"$here/start_dovecot.sh" "$dir" "$port" "$user" "$password"
wait_for_listener dovecot "$pop3s_port" "$dir/dovecot.log"
