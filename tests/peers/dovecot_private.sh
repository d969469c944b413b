# Sourced by the Dovecot peer scripts. private_dovecot_settings DIR prints the
# settings of a private instance: its sockets, state and log under DIR, plain
# text log-ins without TLS (start_dovecot_tls.sh adds TLS on top).
private_dovecot_settings() {
  cat <<CONF
listen = 127.0.0.1
base_dir = $1/run
state_dir = $1/state
log_path = $1/dovecot.log
info_log_path = $1/dovecot.log
ssl = no
disable_plaintext_auth = no
CONF
}
