"""SMTP submission server for the integration tests: TLS (STARTTLS, or from
the first byte) and AUTH PLAIN/LOGIN required, one account. Messages land as
with RawSink, and each envelope starts with "AUTH:<login>".
    qlk_authsmtpd.py DIR PORT USER PASSWORD CERT KEY starttls|implicit
Runs until SIGTERM."""
import signal
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

from qlk_rawsink import RawSink


class AuthSink(RawSink):
    def envelope_text(self, session, envelope):
        login = getattr(session, "qlk_login", b"").decode(errors="replace")
        return "AUTH:%s\n" % login + super().envelope_text(session, envelope)


def main():
    directory, port, user, password, cert, key, mode = sys.argv[1:8]
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
              and auth_data.password == password.encode())
        if ok:
            session.qlk_login = auth_data.login
        return AuthResult(success=ok, handled=False)

    # With TLS from the first byte aiosmtpd does not know the session is
    # protected, so only STARTTLS can ask for TLS before AUTH.
    tls = {"ssl_context": context, "auth_require_tls": False} if mode == "implicit" else {
        "tls_context": context, "require_starttls": True, "auth_require_tls": True}
    controller = Controller(AuthSink(directory), hostname="127.0.0.1", port=int(port),
                            authenticator=authenticator, auth_required=True, **tls)
    controller.start()
    signal.sigwait({signal.SIGTERM, signal.SIGINT})
    controller.stop()


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    main()
