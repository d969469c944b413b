"""SMTP relay for the integration tests that lists AUTH PLAIN, LOGIN and
XOAUTH2 without TLS, for accounts given as USER:PASSWORD (PLAIN, LOGIN) and
USER:TOKEN (XOAUTH2). "optional" takes mail without a log-in; "required"
answers MAIL FROM with 530 until one. Messages land as with RawSink, each
envelope starting with "AUTH:<login>" (empty without a log-in).
    qlk_loginrelay.py DIR PORT optional|required USER:PASSWORD... -- USER:TOKEN...
Runs until SIGTERM."""
import base64
import signal
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, AuthResult, LoginPassword

from qlk_authsmtpd import AuthSink


class TokenSink(AuthSink):
    def __init__(self, directory, tokens):
        super().__init__(directory)
        self.tokens = tokens

    async def auth_XOAUTH2(self, server, args):
        if len(args) > 1:
            message = base64.b64decode(args[1])
        else:
            message = await server.challenge_auth("")
            if message is MISSING:
                return AuthResult(success=False)
        fields = dict(part.split(b"=", 1) for part in message.split(b"\x01") if b"=" in part)
        user = fields.get(b"user", b"")
        ok = fields.get(b"auth", b"") == b"Bearer " + self.tokens.get(user, b"\x00")
        if ok:
            server.session.qlk_login = user
        return AuthResult(success=ok, handled=False)


def main():
    directory, port, mode = sys.argv[1:4]
    rest = sys.argv[4:]
    split = rest.index("--")
    passwords = dict(pair.encode().split(b":", 1) for pair in rest[:split])
    tokens = dict(pair.encode().split(b":", 1) for pair in rest[split + 1:])

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and passwords.get(auth_data.login) == auth_data.password
        if ok:
            session.qlk_login = auth_data.login
        return AuthResult(success=ok, handled=False)

    controller = Controller(TokenSink(directory, tokens), hostname="127.0.0.1", port=int(port),
                            authenticator=authenticator, auth_required=mode == "required",
                            auth_require_tls=False)
    controller.start()
    signal.sigwait({signal.SIGTERM, signal.SIGINT})
    controller.stop()


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    main()
