"""SMTP submission server for the integration tests, with one account:
    qlk_authsmtpd.py DIR PORT USER PASSWORD CERT KEY starttls|implicit
TLS (STARTTLS, or from the first byte) and AUTH PLAIN/LOGIN required. Or a
relay without TLS that lists AUTH PLAIN, LOGIN and XOAUTH2:
    qlk_authsmtpd.py DIR PORT optional|required USER:PASSWORD... -- USER:TOKEN...
"optional" takes mail without a log-in, "required" answers MAIL FROM with
530 until one. Messages land as with RawSink, and each envelope starts with
"AUTH:<login>" (empty without a log-in). Runs until SIGTERM."""
import base64
import signal
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword

from qlk_rawsink import RawSink


class AuthSink(RawSink):
    def __init__(self, directory, tokens=None):
        super().__init__(directory)
        self.tokens = tokens or {}

    def envelope_text(self, session, envelope):
        login = getattr(session, "qlk_login", b"").decode(errors="replace")
        return "AUTH:%s\n" % login + super().envelope_text(session, envelope)

    async def auth_XOAUTH2(self, server, args):
        message = base64.b64decode(args[1]) if len(args) > 1 else await server.challenge_auth("")
        if message is MISSING:
            return AuthResult(success=False)
        fields = dict(part.split(b"=", 1) for part in message.split(b"\x01") if b"=" in part)
        user = fields.get(b"user", b"")
        ok = user in self.tokens and fields.get(b"auth") == b"Bearer " + self.tokens[user]
        if ok:
            server.session.qlk_login = user
        return AuthResult(success=ok, handled=False)


class LongAuthSMTP(SMTP):
    # An AUTH line with its initial response may run to 12,288 octets (RFC
    # 4954): an OAuth 2.0 token of a few KB goes on it.
    line_length_limit = 12290

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.command_size_limits["AUTH"] = 12288


class LongAuthController(Controller):
    def factory(self):
        return LongAuthSMTP(self.handler, **self.SMTP_kwargs)


def main():
    directory, port, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    if mode in ("optional", "required"):
        split = sys.argv.index("--")
        passwords = dict(pair.encode().split(b":", 1) for pair in sys.argv[4:split])
        tokens = dict(pair.encode().split(b":", 1) for pair in sys.argv[split + 1:])
        options = {"auth_required": mode == "required", "auth_require_tls": False}
    else:
        user, password, cert, key, mode = sys.argv[3:8]
        passwords, tokens = {user.encode(): password.encode()}, {}
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(cert, key)
        # With TLS from the first byte aiosmtpd does not know the session is
        # protected, so only STARTTLS can ask for TLS before AUTH.
        options = {"ssl_context": context, "auth_require_tls": False} if mode == "implicit" else {
            "tls_context": context, "require_starttls": True, "auth_require_tls": True}
        options["auth_required"] = True

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and passwords.get(auth_data.login) == auth_data.password
        if ok:
            session.qlk_login = auth_data.login
        return AuthResult(success=ok, handled=False)

    controller = LongAuthController(AuthSink(directory, tokens), hostname="127.0.0.1", port=port,
                            authenticator=authenticator, **options)
    controller.start()
    signal.sigwait({signal.SIGTERM, signal.SIGINT})
    controller.stop()


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    main()
