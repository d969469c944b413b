#!/bin/bash
# Starts a private Dovecot that takes OAuth 2.0 log-ins (SASL XOAUTH2 and
# OAUTHBEARER) beside the password: tokens are checked against a local
# token check that knows one good TOKEN, for USER.
#   start_dovecot_oauth2.sh DIR PORT USER PASSWORD TOKEN CHECK_PORT
# Everything else as start_dovecot.sh; stop the endpoint with
#   kill "$(cat DIR/tokencheck.pid)"
set -eu
dir=$1 port=$2 user=$3 password=$4 token=$5 check_port=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wait_for_listener.sh"

mkdir -p "$dir"
nohup /usr/bin/python3 "$here/qlk_tokencheck.py" "$check_port" "$token" "$user" \
  >"$dir/tokencheck.log" 2>&1 &
echo $! > "$dir/tokencheck.pid"
wait_for_listener tokencheck "$check_port" "$dir/tokencheck.log" "$dir/tokencheck.pid"
cat > "$dir/oauth2.conf" <<CONF
introspection_url = http://127.0.0.1:$check_port/token-check
introspection_mode = post
username_attribute = username
active_attribute = active
active_value = true
CONF
chmod 644 "$dir/oauth2.conf"
cat > "$dir/extra.conf" <<CONF
auth_mechanisms = plain xoauth2 oauthbearer
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $dir/oauth2.conf
}
CONF
"$here/start_dovecot.sh" "$dir" "$port" "$user" "$password"
