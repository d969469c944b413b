"""A fake OAuth 2.0 authorization server for the token tests.

    qlk_fakeoauth.py DIR PORT [forge-state]

POST /devicecode   starts a device sign-in; the first poll of each code
                   answers authorization_pending, the next one the tokens.
GET  /auth         redirects the browser to redirect_uri with code and state
                   (a wrong state with "forge-state"); remembers the PKCE
                   challenge.
POST /token        device_code, authorization_code (the verifier must match
                   the challenge) and refresh_token grants; a refresh token
                   it did not issue (or "rt-good") gets invalid_grant.
Each token request's grant_type is appended to DIR/requests.log. The access
tokens are "at-1", "at-2", ... unless DIR/access-token holds the one to give
(and DIR/expires-in its lifetime in seconds).
"""
import base64
import hashlib
import json
import os
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer

folder, port = sys.argv[1], int(sys.argv[2])
forge_state = len(sys.argv) > 3 and sys.argv[3] == "forge-state"
polls = {}
challenges = {}
refresh_tokens = {"rt-good"}
issued = [0]


def setting(name, default):
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return default
    with open(path) as f:
        return f.read().strip()


def tokens():
    issued[0] += 1
    refresh = "rt-%d" % issued[0]
    refresh_tokens.add(refresh)
    return {"access_token": setting("access-token", "at-%d" % issued[0]), "refresh_token": refresh,
            "token_type": "Bearer", "expires_in": int(setting("expires-in", "3600"))}


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path != "/auth" or query.get("code_challenge_method") != "S256":
            return self.answer(400, {"error": "invalid_request"})
        challenges["code-1"] = query["code_challenge"]
        state = "forged" if forge_state else query["state"]
        target = query["redirect_uri"] + "?" + urllib.parse.urlencode({"code": "code-1", "state": state})
        self.send_response(302)
        self.send_header("Location", target)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = dict(urllib.parse.parse_qsl(self.rfile.read(length).decode()))
        if form.get("client_id") != "office-app":
            return self.answer(400, {"error": "invalid_client"})
        if self.path == "/devicecode":
            code = "dev-%d" % (len(polls) + 1)
            polls[code] = 0
            return self.answer(200, {"device_code": code, "user_code": "QLK-1234",
                                     "verification_uri": "https://example.test/devicelogin",
                                     "interval": 1, "expires_in": 60})
        grant = form.get("grant_type", "")
        with open(folder + "/requests.log", "a") as log:
            log.write(grant + "\n")
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            code = form.get("device_code")
            if code not in polls:
                return self.answer(400, {"error": "expired_token"})
            polls[code] += 1
            if polls[code] == 1:
                return self.answer(400, {"error": "authorization_pending"})
            return self.answer(200, tokens())
        if grant == "authorization_code":
            verifier = form.get("code_verifier", "").encode()
            challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=").decode()
            if form.get("code") != "code-1" or challenges.get("code-1") != challenge:
                return self.answer(400, {"error": "invalid_grant"})
            return self.answer(200, tokens())
        if grant == "refresh_token":
            if form.get("refresh_token") not in refresh_tokens:
                return self.answer(400, {"error": "invalid_grant"})
            return self.answer(200, tokens())
        return self.answer(400, {"error": "unsupported_grant_type"})


HTTPServer(("127.0.0.1", port), Handler).serve_forever()
