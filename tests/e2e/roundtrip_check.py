#!/usr/bin/python3
"""Checks the mail of the round-trip test with Python's own mail reader.

  roundtrip_check.py MODE SOURCE ARGS...

SOURCE is a Maildir (a post-office mailbox, or a Dovecot account) or a folder
of NNNNNN.eml copies with NNNNNN.env envelopes, as the test relay keeps them.

  subjects SOURCE [SUBJECT...]        exactly these subjects, in any order
  header SOURCE SUBJECT NAME VALUE    the message's raw header NAME is VALUE
  text SOURCE SUBJECT TEXT            its first text part holds TEXT
  files SOURCE SUBJECT [NAME=PATH...] exactly these attachments, byte for byte
  envelope SOURCE SUBJECT FROM [RCPT...]  the relay's envelope of the message

Exit status 0 when the check holds; otherwise 1 and the reason."""
import email
import email.policy
import mailbox
import os
import sys


def messages(source):
    """(message, envelope lines or None, raw bytes) for every message in SOURCE."""
    found = []
    if os.path.isdir(os.path.join(source, "new")):
        for key, raw in mailbox.Maildir(source, factory=None, create=False).items():
            found.append((email.message_from_bytes(raw.as_bytes(), policy=email.policy.default), None,
                          raw.as_bytes()))
        return found
    for name in sorted(os.listdir(source)):
        if not name.endswith(".eml"):
            continue
        with open(os.path.join(source, name), "rb") as data:
            raw = data.read()
        with open(os.path.join(source, name[:-4] + ".env")) as env:
            found.append((email.message_from_bytes(raw, policy=email.policy.default), env.read().splitlines(),
                          raw))
    return found


def one(source, subject):
    matches = [pair for pair in messages(source) if str(pair[0]["Subject"]) == subject]
    if len(matches) != 1:
        fail("%d messages with the subject %r in %s" % (len(matches), subject, source))
    return matches[0]


def lf(text):
    return text.replace("\r\n", "\n").replace("\r", "\n")


def fail(reason):
    print(reason)
    sys.exit(1)


def main(mode, source, *args):
    if mode == "subjects":
        found = sorted(str(message["Subject"]) for message, _, _ in messages(source))
        if found != sorted(args):
            fail("subjects %r, expected %r" % (found, sorted(args)))
    elif mode == "header":
        subject, name, value = args
        # The header as written, not as the reader would tidy it up.
        raw = email.message_from_bytes(one(source, subject)[2], policy=email.policy.compat32).get(name)
        if raw is None or str(raw) != value:
            fail("%s is %r, expected %r" % (name, raw, value))
    elif mode == "text":
        subject, text = args
        message, _, _ = one(source, subject)
        body = message.get_body(preferencelist=("plain",))
        content = body.get_content() if body is not None else ""
        if lf(text) not in lf(content):
            fail("text %r does not hold %r" % (content, text))
    elif mode == "files":
        subject, *pairs = args
        message, _, _ = one(source, subject)
        found = {part.get_filename(): part.get_payload(decode=True) for part in message.iter_attachments()}
        expected = {}
        for pair in pairs:
            name, path = pair.split("=", 1)
            with open(path, "rb") as data:
                expected[name] = data.read()
        if found != expected:
            fail("attachments %r, expected %r" % (
                {k: len(v) for k, v in found.items()}, {k: len(v) for k, v in expected.items()}))
    elif mode == "envelope":
        subject, sender, *recipients = args
        _, envelope, _ = one(source, subject)
        expected = ["MAIL FROM:" + sender] + ["RCPT TO:" + r for r in recipients]
        if envelope != expected:
            fail("envelope %r, expected %r" % (envelope, expected))
    else:
        fail("unknown mode " + mode)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        fail(__doc__)
    main(*sys.argv[1:])
