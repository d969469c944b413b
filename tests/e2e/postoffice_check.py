#!/usr/bin/python3
"""Reads a Quelmark post office with Python's own mail libraries.

  postoffice_check.py expect POSTOFFICE EXPECT.json
      Every mailbox holds exactly the expected messages (in any order):
      subject, note text (line ends compared as lines), every attachment's
      name and bytes, and where given the sender's and recipients' display
      names. Every message must be valid mail as Python reads it today: no
      defect in its address and date headers, and a date that parses. Prints
      what differs; exit status 1 when anything does.
  postoffice_check.py subjects POSTOFFICE MAILBOX
      Prints the subject of every message in the mailbox, one a line.
"""
import base64
import email
import email.policy
import json
import mailbox
import re
import sys


CHECKED_HEADERS = ("From", "To", "Cc", "Date", "Return-Receipt-To")


def defects(message):
    found = [type(d).__name__ for d in message.defects]
    for name in CHECKED_HEADERS:
        for value in message.get_all(name) or []:
            found += [f"{name}: {type(d).__name__}" for d in value.defects]
    if message["Date"] is None or message["Date"].datetime is None:
        found.append("Date: missing or unreadable")
    return found


def names(message, header):
    return [address.display_name for value in message.get_all(header) or [] for address in value.addresses]


def read_mailbox(folder):
    messages = []
    box = mailbox.Maildir(folder, factory=None, create=False)
    for key in sorted(box.keys()):
        with box.get_file(key) as handle:
            message = email.message_from_binary_file(handle, policy=email.policy.default)
        text, files = "", []
        for part in message.walk():
            if part.is_multipart():
                continue
            name = part.get_filename()
            payload = part.get_payload(decode=True) or b""
            if name is None and part.get_content_type() == "text/plain" and not text:
                text = payload.decode("latin-1")
            else:
                files.append([name, base64.b64encode(payload).decode()])
        messages.append({"subject": str(message.get("Subject", "")), "text": text, "files": files,
                         "from": names(message, "From"), "to": names(message, "To"), "defects": defects(message)})
    return messages


def lines(text):
    found = re.split(r"\r\n|\r|\n", text)
    while found and found[-1] == "":
        found.pop()
    return found


def check(postoffice, expect_file):
    with open(expect_file, encoding="latin-1") as handle:
        expected = json.load(handle)
    problems = []
    for name, wanted in expected.items():
        # The expectation carries UTF-8 bytes, one character each.
        name = name.encode("latin-1").decode("utf-8")
        got = read_mailbox(f"{postoffice}/{name}")
        left = list(got)
        for message in wanted:
            match = next((m for m in left if m["subject"] == message["subject"]), None)
            if match is None:
                problems.append(f"{name}: missing '{message['subject']}'")
                continue
            left.remove(match)
            if lines(match["text"]) != lines(message["text"]):
                problems.append(f"{name}: '{message['subject']}' text {lines(match['text'])!r} "
                                f"instead of {lines(message['text'])!r}")
            if match["files"] != message["files"]:
                problems.append(f"{name}: '{message['subject']}' files {match['files']!r} "
                                f"instead of {message['files']!r}")
            for field in ("from", "to"):
                names_wanted = [n.encode("latin-1").decode("utf-8") for n in message.get(field, [])]
                if field in message and match[field] != names_wanted:
                    problems.append(f"{name}: '{message['subject']}' {field} {match[field]!r} "
                                    f"instead of {names_wanted!r}")
            if match["defects"]:
                problems.append(f"{name}: '{message['subject']}' is not valid mail: {match['defects']!r}")
        for extra in left:
            problems.append(f"{name}: unexpected '{extra['subject']}'")
    print("\n".join(problems))
    return 1 if problems else 0


def main():
    if sys.argv[1] == "expect":
        return check(sys.argv[2], sys.argv[3])
    for message in read_mailbox(f"{sys.argv[2]}/{sys.argv[3]}"):
        print(message["subject"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
