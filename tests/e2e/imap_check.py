#!/usr/bin/python3
"""Reads a post-office mailbox over IMAP as an ordinary mail program does.

  imap_check.py PORT LOGIN PASSWORD read COUNT SUBJECT SENDER ATTACHMENT NOTE
      LOGIN succeeds; LIST shows INBOX; SELECT finds COUNT messages; one of
      them has SUBJECT, a sender whose display name is SENDER (both as decoded
      from their RFC 2047 words), an attachment named ATTACHMENT in its
      BODYSTRUCTURE and NOTE in its text. Nothing is marked read.
  imap_check.py PORT LOGIN PASSWORD seen SUBJECT
      Sets \\Seen on the message with SUBJECT.
  imap_check.py PORT LOGIN PASSWORD refused
      PASSWORD with one more letter is refused. Dovecot slows down the next
      log-ins from the same address after a refusal, so this comes last.
Prints what differs; exit status 1 when anything does.
"""
import email
import email.header
import email.policy
import imaplib
import re
import sys


def quoted(text):
    """imaplib quotes the password of LOGIN but sends the user name as it stands."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def wire(data):
    """imaplib's pieces of a FETCH response joined back into the bytes sent."""
    out = b""
    for piece in data:
        out += piece[0] + b"\r\n" + piece[1] if isinstance(piece, tuple) else piece
    return out


def parse(data, i=0):
    """One IMAP value at data[i:]: a list, a string, NIL or an atom."""
    while data[i:i + 1] == b" ":
        i += 1
    if data[i:i + 1] == b"(":
        items, i = [], i + 1
        while True:
            while data[i:i + 1] == b" ":
                i += 1
            if data[i:i + 1] == b")":
                return items, i + 1
            item, i = parse(data, i)
            items.append(item)
    if data[i:i + 1] == b'"':
        value, i = b"", i + 1
        while data[i:i + 1] != b'"':
            if data[i:i + 1] == b"\\":
                i += 1
            value, i = value + data[i:i + 1], i + 1
        return value, i + 1
    literal = re.match(rb"\{(\d+)\}\r\n", data[i:])
    if literal:
        start = i + literal.end()
        return data[start:start + int(literal.group(1))], start + int(literal.group(1))
    atom = re.match(rb"[^ ()]+", data[i:]).group(0)
    return (None if atom.upper() == b"NIL" else atom), i + len(atom)


def decoded(word):
    return "" if word is None else str(email.header.make_header(email.header.decode_header(word.decode())))


def fetch_all(imap):
    """(subject, sender's display name, attachment names) of every message by its
    sequence number; imaplib hands each response over as "N (ITEMS...)"."""
    typ, data = imap.fetch("1:*", "(ENVELOPE BODYSTRUCTURE)")
    if typ != "OK":
        raise SystemExit(f"FETCH failed: {data}")
    joined = wire(data)
    messages, i = {}, 0
    while i < len(joined):
        head = re.match(rb"\s*(\d+) ", joined[i:])
        if not head:
            break
        items, i = parse(joined, i + head.end())
        fields = dict(zip(items[0::2], items[1::2]))
        envelope = fields[b"ENVELOPE"]
        sender = decoded(envelope[2][0][0]) if envelope[2] else ""
        messages[int(head.group(1))] = (decoded(envelope[1]), sender, attachment_names(fields[b"BODYSTRUCTURE"]))
    return messages


def attachment_names(structure):
    """Every "name" or "filename" parameter anywhere in a BODYSTRUCTURE."""
    names = []
    if isinstance(structure, list):
        keys = structure[0::2]
        if structure and len(structure) % 2 == 0 and all(isinstance(k, bytes) for k in keys):
            names += [decoded(v) for k, v in zip(keys, structure[1::2]) if k.lower() in (b"name", b"filename")]
        for item in structure:
            names += attachment_names(item)
    return names


def log_in(port, login, password):
    imap = imaplib.IMAP4("127.0.0.1", int(port))
    imap.login(quoted(login), password)
    return imap


def note_text(imap, number):
    typ, data = imap.fetch(str(number), "(BODY.PEEK[])")
    message = email.message_from_bytes(data[0][1], policy=email.policy.default)
    return message.get_body(preferencelist=("plain",)).get_content()


def read(port, login, password, count, subject, sender, attachment, note):
    problems = []
    imap = log_in(port, login, password)
    typ, boxes = imap.list()
    if typ != "OK" or not any(b'"INBOX"' in box or box.endswith(b" INBOX") for box in boxes):
        problems.append(f"LIST shows no INBOX: {boxes}")
    typ, data = imap.select("INBOX", readonly=True)
    if int(data[0]) != int(count):
        problems.append(f"INBOX holds {data[0].decode()} messages, not {count}")
    messages = fetch_all(imap)
    found = [n for n, m in messages.items() if m[0] == subject]
    if not found:
        problems.append(f"no message with subject {subject!r}: {list(messages.values())}")
    elif messages[found[0]][1] != sender or attachment not in messages[found[0]][2]:
        problems.append(f"expected sender {sender!r} and attachment {attachment!r}, got {messages[found[0]]}")
    elif note not in note_text(imap, found[0]):
        problems.append(f"the text does not hold {note!r}: {note_text(imap, found[0])!r}")
    imap.logout()
    return problems


def seen(port, login, password, subject):
    imap = log_in(port, login, password)
    imap.select("INBOX")
    numbers = [n for n, m in fetch_all(imap).items() if m[0] == subject]
    if not numbers:
        return [f"no message with subject {subject!r}"]
    imap.store(str(numbers[0]), "+FLAGS", "(\\Seen)")
    imap.logout()
    return []


def refused(port, login, password):
    try:
        log_in(port, login, password + "x").logout()
        return ["a wrong password was taken"]
    except imaplib.IMAP4.error:
        return []


def main(argv):
    port, login, password, command = argv[1:5]
    if command == "read":
        problems = read(port, login, password, *argv[5:10])
    elif command == "seen":
        problems = seen(port, login, password, argv[5])
    else:
        problems = refused(port, login, password)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
