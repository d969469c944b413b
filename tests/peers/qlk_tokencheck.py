"""The token check (RFC 7662) that the Dovecot oauth2 passdb of the
integration tests asks whether a token is good: one good token, one user.
    qlk_tokencheck.py PORT TOKEN USER
Answers POST /token-check (form field "token"); runs until SIGTERM."""
import json
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer


def main():
    port, token, user = int(sys.argv[1]), sys.argv[2], sys.argv[3]

    class TokenCheck(BaseHTTPRequestHandler):
        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            form = urllib.parse.parse_qs(self.rfile.read(length).decode())
            good = form.get("token", [""])[0] == token
            body = json.dumps({"active": True, "username": user} if good else {"active": False}).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    HTTPServer(("127.0.0.1", port), TokenCheck).serve_forever()


if __name__ == "__main__":
    main()
